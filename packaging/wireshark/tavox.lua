-- Wireshark dissector for the serial link between TAVOX and its gimbal
-- controller, as TAVOX records it: one packet per frame or per run of bytes the
-- receiver dropped, link type USER0 (147), the direction in the packet flags.
--
-- Field names follow the tool's own: tavox.param.<ParamBlock field>,
-- tavox.heartbeat.<HeartbeatRecord field>, tavox.command.sub with the names of
-- the command table, tavox.version.firmware, tavox.upgrade.sequence.
--
-- Load it without installing: tshark -X lua_script:tavox.lua -r session.pcapng

local tavox = Proto("tavox", "TAVOX gimbal controller link")

local SYNC = 0xAA
local V0_OVERHEAD, V1_OVERHEAD = 7, 13
local GENERAL, GIMBAL = 0, 1

-- Sub-commands of the command frame 0x85 and of its reply 0x86.
local SUB_COMMANDS = {
    [0x80] = "Module Disable", [0x81] = "Outter Fwd Torque", [0x82] = "Outter Rev Torque",
    [0x83] = "Outter Torque Clear", [0x84] = "Outter Hall Calib", [0x85] = "Middle Fwd Torque",
    [0x86] = "Middle Rev Torque", [0x87] = "Middle Torque Clear", [0x88] = "Middle Hall Calib",
    [0x89] = "Inner Fwd Torque", [0x8A] = "Inner Rev Torque", [0x8B] = "Inner Torque Clear",
    [0x8C] = "Inner Hall Calib", [0x8D] = "Hall Calib", [0x8E] = "Zero Calib", [0x8F] = "Accel Calib",
    [0x90] = "Activate", [0x91] = "Reboot", [0x92] = "Outter Elec Calib Start",
    [0x93] = "Outter Elec Calib End", [0x94] = "Middle Elec Calib Start", [0x95] = "Middle Elec Calib End",
    [0x96] = "Inner Elec Calib Start", [0x97] = "Inner Elec Calib End", [0x98] = "Use User Hall Data",
    [0x99] = "Use Default Hall Data", [0x9B] = "Linear Calib", [0x9C] = "Stop Motor",
    [0x9D] = "Gyro Bias Update", [0xA0] = "SBUS Channel", [0xA1] = "PWM Channel",
    [0xA2] = "Camera Position", [0xA3] = "Max Speed", [0xA4] = "FPV Mode", [0xA5] = "Max Torque",
    [0xA6] = "SBUS Photo/Video", [0xA7] = "CRSF Channel",
}
local ACCEL_CALIB = 0x8F
local UPGRADE_DATA = 0x0D

local V0_COMMANDS = { [0xC0] = "ParamRead", [0xC1] = "ParamBlock", [0x85] = "Command", [0x86] = "CommandReply" }
local GENERAL_COMMANDS = {
    [0x00] = "SoftReset", [0x01] = "VersionQuery", [0x02] = "VersionReply", [0x03] = "Erase",
    [0x04] = "EraseDone", [0x0B] = "Start", [0x0C] = "StartReply", [0x0D] = "Data", [0x0E] = "DataAck",
    [0x0F] = "Stop", [0x10] = "VerifyResult",
}
local GIMBAL_COMMANDS = { [0x00] = "Heartbeat" }
local COMMAND_SETS = { [GENERAL] = "general", [GIMBAL] = "gimbal" }

-- Payload layouts: { field name, offset, type, label }. "centi" is a signed
-- 16-bit value in hundredths of a degree, shown in degrees.
local PARAM_BASE = {
    { "sbusPitchCh", 0, "u8", "SBUS pitch channel" }, { "sbusYawCh", 1, "u8", "SBUS yaw channel" },
    { "sbusCenterCh", 2, "u8", "SBUS centre channel" }, { "sbusMode", 3, "u8", "SBUS mode" },
    { "pwmPitchCh", 4, "u8", "PWM pitch channel" }, { "pwmYawCh", 5, "u8", "PWM yaw channel" },
    { "pwmCenterCh", 6, "u8", "PWM centre channel" }, { "pwmMode", 7, "u8", "PWM mode" },
    { "cameraPosition", 8, "u8", "Camera position" }, { "pitchMaxSpeed", 9, "u8", "Pitch maximum speed" },
    { "yawMaxSpeed", 10, "u8", "Yaw maximum speed" }, { "fpvMode", 11, "u8", "FPV mode" },
    { "sbusRollCh", 12, "u8", "SBUS roll channel" }, { "rollMaxSpeed", 13, "u8", "Roll maximum speed" },
    { "sbusLockCh", 14, "u8", "SBUS lock channel" }, { "pwmLockCh", 15, "u8", "PWM lock channel" },
    { "yawMaxTorque", 16, "u16", "Yaw maximum torque" }, { "rollMaxTorque", 18, "u16", "Roll maximum torque" },
    { "pitchMaxTorque", 20, "u16", "Pitch maximum torque" },
}
-- Both extensions carry the five SBUS/PWM directions, at different offsets.
local function directions(offset)
    return {
        { "sbusPitchDir", offset, "u8", "SBUS pitch direction" },
        { "sbusRollDir", offset + 1, "u8", "SBUS roll direction" },
        { "sbusYawDir", offset + 2, "u8", "SBUS yaw direction" },
        { "pwmPitchDir", offset + 3, "u8", "PWM pitch direction" },
        { "pwmYawDir", offset + 4, "u8", "PWM yaw direction" },
    }
end
local PARAM_PHOTO_VIDEO = {
    { "sbusPhotoCh", 22, "u8", "SBUS photo channel" }, { "sbusVideoCh", 23, "u8", "SBUS video channel" },
}
local PARAM_CRSF = {
    { "crsfPitchCh", 27, "u8", "CRSF pitch channel" }, { "crsfRollCh", 28, "u8", "CRSF roll channel" },
    { "crsfYawCh", 29, "u8", "CRSF yaw channel" }, { "crsfCenterCh", 30, "u8", "CRSF centre channel" },
    { "crsfLockCh", 31, "u8", "CRSF lock channel" }, { "crsfMode", 32, "u8", "CRSF mode" },
    { "crsfPitchDir", 33, "u8", "CRSF pitch direction" }, { "crsfRollDir", 34, "u8", "CRSF roll direction" },
    { "crsfYawDir", 35, "u8", "CRSF yaw direction" },
}
for _, item in ipairs(directions(24)) do table.insert(PARAM_PHOTO_VIDEO, item) end
for i, item in ipairs(directions(22)) do table.insert(PARAM_CRSF, i, item) end
local PARAM_PHOTO_VIDEO_LENGTH, PARAM_CRSF_LENGTH, PARAM_BASE_LENGTH = 29, 36, 22

-- Heartbeat blocks, each present from a payload length on; a block is read
-- only when every earlier one was.
local HEARTBEAT_BLOCKS = {
    { from = 22, fields = {
        { "pitch", 0, "centi", "Pitch" }, { "roll", 2, "centi", "Roll" }, { "yaw", 4, "centi", "Yaw" },
        { "status", 6, "status", "Status word" },
        { "jointOutterAngle", 10, "centi", "Outer joint angle" },
        { "jointMiddleAngle", 12, "centi", "Middle joint angle" },
        { "jointInnerAngle", 14, "centi", "Inner joint angle" } } },
    { from = 35, fields = { { "imuTemp", 34, "i8", "IMU temperature (°C)" } } },
    { from = 45, fields = {
        { "sbusPitch", 35, "i16", "SBUS pitch value" }, { "sbusRoll", 37, "i16", "SBUS roll value" },
        { "sbusYaw", 39, "i16", "SBUS yaw value" }, { "sbusCenter", 41, "i16", "SBUS centre value" },
        { "sbusLock", 43, "i16", "SBUS lock value" } } },
    { from = 51, fields = {
        { "pwmPitch", 45, "i16", "PWM pitch value" }, { "pwmYaw", 47, "i16", "PWM yaw value" },
        { "pwmCenter", 49, "i16", "PWM centre value" } } },
    { from = 61, fields = {
        { "crsfPitch", 51, "i16", "CRSF pitch value" }, { "crsfRoll", 53, "i16", "CRSF roll value" },
        { "crsfYaw", 55, "i16", "CRSF yaw value" }, { "crsfCenter", 57, "i16", "CRSF centre value" },
        { "crsfLock", 59, "i16", "CRSF lock value" } } },
}
local STATUS_BITS = {
    { "attiReady", 0x0001, "Attitude ready" }, { "jointInitOk", 0x0002, "Joint initialisation done" },
    { "underVolt", 0x0004, "Under-voltage" }, { "memsLost", 0x0008, "IMU lost" },
    { "actuator", 0x0030, "Motor state" }, { "softLimit", 0x0040, "Soft limit reached" },
    { "ctrlMode", 0x0180, "Control mode" }, { "stateMachine", 0x1E00, "State machine" },
}

local WIDTHS = { u8 = 1, i8 = 1, u16 = 2, i16 = 2, centi = 2, status = 4, u32 = 4 }
local MAKERS = {
    u8 = function(abbr, label) return ProtoField.uint8(abbr, label) end,
    i8 = function(abbr, label) return ProtoField.int8(abbr, label) end,
    u16 = function(abbr, label) return ProtoField.uint16(abbr, label) end,
    i16 = function(abbr, label) return ProtoField.int16(abbr, label) end,
    centi = function(abbr, label) return ProtoField.double(abbr, label .. " (°)") end,
    status = function(abbr, label) return ProtoField.uint32(abbr, label, base.HEX) end,
}

local f = {
    sync = ProtoField.uint8("tavox.sync", "Sync", base.HEX),
    length = ProtoField.uint16("tavox.length", "Frame length", base.DEC, nil, 0x03FF),
    version = ProtoField.uint16("tavox.version", "Protocol version", base.DEC, nil, 0xFC00),
    header_sum = ProtoField.uint8("tavox.header_sum", "Header sum", base.HEX),
    command_id = ProtoField.uint8("tavox.command_id", "Command id", base.HEX),
    sequence = ProtoField.uint16("tavox.sequence", "Sequence"),
    flags = ProtoField.uint8("tavox.flags", "Flags", base.HEX),
    byte7 = ProtoField.uint8("tavox.byte7", "Byte 7", base.HEX),
    byte8 = ProtoField.uint8("tavox.byte8", "Byte 8", base.HEX),
    command_set = ProtoField.uint8("tavox.command_set", "Command set", base.DEC, COMMAND_SETS),
    payload = ProtoField.bytes("tavox.payload", "Payload"),
    crc = ProtoField.uint16("tavox.crc", "CRC", base.HEX),
    dropped = ProtoField.bytes("tavox.dropped", "Dropped bytes"),
    sub = ProtoField.uint8("tavox.command.sub", "Sub-command", base.HEX, SUB_COMMANDS),
    reply_sub = ProtoField.uint8("tavox.reply.sub", "Sub-command answered", base.HEX, SUB_COMMANDS),
    accel_progress = ProtoField.float("tavox.reply.accelProgress", "Accelerometer calibration progress"),
    boot = ProtoField.string("tavox.version.boot", "Bootloader version"),
    firmware = ProtoField.string("tavox.version.firmware", "Firmware version"),
    upgrade_sequence = ProtoField.uint16("tavox.upgrade.sequence", "Upgrade packet sequence"),
    image_size = ProtoField.uint32("tavox.upgrade.imageSize", "Image size (bytes)"),
    start_result = ProtoField.uint8("tavox.upgrade.startResult", "Start result", base.DEC,
        { [0] = "accepted" }),
    image_data = ProtoField.bytes("tavox.upgrade.data", "Image data"),
    signature_ok = ProtoField.bool("tavox.upgrade.signatureOk", "Signature check passed", 8, nil, 0x01),
    md5_ok = ProtoField.bool("tavox.upgrade.md5Ok", "MD5 check passed", 8, nil, 0x02),
}
for i = 1, 4 do
    f["para" .. i] = ProtoField.uint32("tavox.command.para" .. i, "para" .. i, base.HEX_DEC)
end

-- One ProtoField per layout entry, keyed by the entry itself.
local layout_fields = {}
local function register_layout(prefix, layout)
    for _, item in ipairs(layout) do
        local name, _, kind, label = table.unpack(item)
        layout_fields[item] = MAKERS[kind](prefix .. name, label)
        table.insert(f, layout_fields[item])
    end
end
register_layout("tavox.param.", PARAM_BASE)
register_layout("tavox.param.", PARAM_PHOTO_VIDEO)
register_layout("tavox.param.", PARAM_CRSF)
for _, block in ipairs(HEARTBEAT_BLOCKS) do register_layout("tavox.heartbeat.", block.fields) end
local status_fields = {}
for _, bit in ipairs(STATUS_BITS) do
    status_fields[bit] = ProtoField.uint32("tavox.heartbeat." .. bit[1], bit[3], base.DEC, nil, bit[2])
    table.insert(f, status_fields[bit])
end

local expert = {
    resync = ProtoExpert.new("tavox.resync", "Resynchronisation", expert.group.SEQUENCE, expert.severity.WARN),
    bad_header_sum = ProtoExpert.new("tavox.header_sum.bad", "Bad header sum",
        expert.group.CHECKSUM, expert.severity.ERROR),
    bad_crc = ProtoExpert.new("tavox.crc.bad", "Bad CRC", expert.group.CHECKSUM, expert.severity.ERROR),
    unknown = ProtoExpert.new("tavox.unknown_command", "Unknown command",
        expert.group.UNDECODED, expert.severity.NOTE),
    truncated = ProtoExpert.new("tavox.truncated", "Frame cut short", expert.group.MALFORMED, expert.severity.WARN),
    malformed = ProtoExpert.new("tavox.malformed", "Malformed frame", expert.group.MALFORMED, expert.severity.WARN),
    digested = ProtoExpert.new("tavox.digested", "Payload digested", expert.group.COMMENTS_GROUP,
        expert.severity.CHAT),
}

local plain_fields = {}
for _, field in pairs(f) do table.insert(plain_fields, field) end
tavox.fields = plain_fields
tavox.experts = { expert.resync, expert.bad_header_sum, expert.bad_crc, expert.unknown, expert.truncated,
    expert.malformed, expert.digested }

local comment_field = Field.new("frame.comment")
local direction_field = Field.new("frame.packet_flags_direction")

-- CRC-16/MODBUS: reflected 0xA001, initial 0xFFFF, no final XOR.
local function crc16_modbus(range)
    local crc = 0xFFFF
    for i = 0, range:len() - 1 do
        crc = bit32.bxor(crc, range(i, 1):uint())
        for _ = 1, 8 do
            local carry = bit32.band(crc, 1) == 1
            crc = bit32.rshift(crc, 1)
            if carry then crc = bit32.bxor(crc, 0xA001) end
        end
    end
    return crc
end

local function add_layout(tree, payload, layout)
    for _, item in ipairs(layout) do
        local _, offset, kind = table.unpack(item)
        local range = payload(offset, WIDTHS[kind])
        if kind == "centi" then
            tree:add(layout_fields[item], range, range:le_int() / 100)
        else
            local node = tree:add_le(layout_fields[item], range)
            if kind == "status" then
                for _, bit in ipairs(STATUS_BITS) do node:add_le(status_fields[bit], range) end
            end
        end
    end
end

local function version_text(range)
    local word = range:le_uint()
    return string.format("%d.%d.%d.%d", bit32.extract(word, 24, 8), bit32.extract(word, 16, 8),
        bit32.extract(word, 8, 8), bit32.extract(word, 0, 8))
end

local function sub_command_text(sub)
    return string.format("0x%02X (%s)", sub, SUB_COMMANDS[sub] or "unnamed")
end

-- Payload decoders: each adds its fields and returns the Info text.
local function param_read() return "Parameter read" end

local function param_block(tree, payload)
    local n = payload:len()
    if n < PARAM_BASE_LENGTH then return "Parameter block (too short)" end
    add_layout(tree, payload, PARAM_BASE)
    if n >= PARAM_CRSF_LENGTH then
        add_layout(tree, payload, PARAM_CRSF)
        return "Parameter block (CRSF)"
    elseif n >= PARAM_PHOTO_VIDEO_LENGTH then
        add_layout(tree, payload, PARAM_PHOTO_VIDEO)
        return "Parameter block (photo/video)"
    end
    return "Parameter block"
end

local function command(tree, payload)
    if payload:len() < 1 then return "Command (empty)" end
    local sub = payload(0, 1):uint()
    tree:add(f.sub, payload(0, 1))
    for i = 1, 4 do
        local offset = 1 + 4 * (i - 1)
        if payload:len() >= offset + 4 then tree:add_le(f["para" .. i], payload(offset, 4)) end
    end
    return "Command " .. sub_command_text(sub)
end

local function command_reply(tree, payload)
    if payload:len() < 1 then return "Command reply (empty)" end
    local sub = payload(0, 1):uint()
    tree:add(f.reply_sub, payload(0, 1))
    if sub == ACCEL_CALIB and payload:len() >= 5 then
        tree:add_le(f.accel_progress, payload(1, 4))
        return string.format("Accel Calib progress %.1f", payload(1, 4):le_float())
    end
    return "Reply " .. sub_command_text(sub)
end

local function heartbeat(tree, payload)
    local n = payload:len()
    if n < HEARTBEAT_BLOCKS[1].from then return "Heartbeat (too short)" end
    for _, block in ipairs(HEARTBEAT_BLOCKS) do
        if n < block.from then break end
        add_layout(tree, payload, block.fields)
    end
    return string.format("Heartbeat pitch %.2f roll %.2f yaw %.2f", payload(0, 2):le_int() / 100,
        payload(2, 2):le_int() / 100, payload(4, 2):le_int() / 100)
end

local function version_query() return "Version query" end

local function version_reply(tree, payload)
    if payload:len() < 8 then return "Version reply (too short)" end
    local boot, firmware = version_text(payload(0, 4)), version_text(payload(4, 4))
    tree:add(f.boot, payload(0, 4), boot)
    tree:add(f.firmware, payload(4, 4), firmware)
    return string.format("Version reply firmware %s boot %s", firmware, boot)
end

local function with_sequence(text)
    return function(tree, _, frame)
        tree:add_le(f.upgrade_sequence, frame.sequence):set_generated()
        return string.format("%s seq %d", text, frame.sequence:le_uint())
    end
end

local function upgrade_start(tree, payload)
    if payload:len() < 5 then return "Start upgrade" end
    tree:add_le(f.image_size, payload(1, 4))
    return string.format("Start upgrade, image %d bytes", payload(1, 4):le_uint())
end

local function upgrade_start_reply(tree, payload)
    if payload:len() < 1 then return "Start upgrade reply" end
    tree:add(f.start_result, payload(0, 1))
    return payload(0, 1):uint() == 0 and "Upgrade start accepted" or "Upgrade start refused: image too large"
end

local function upgrade_data(tree, payload, frame)
    tree:add(f.image_data, payload)
    return with_sequence("Upgrade data")(tree, payload, frame)
end

local function verify_result(tree, payload)
    if payload:len() < 1 then return "Verify result" end
    tree:add(f.signature_ok, payload(0, 1))
    tree:add(f.md5_ok, payload(0, 1))
    local passed = bit32.band(payload(0, 1):uint(), 3) == 3
    return passed and "Upgrade verified" or "Upgrade verification failed"
end

local V0_DECODERS = { [0xC0] = param_read, [0xC1] = param_block, [0x85] = command, [0x86] = command_reply }
local V1_DECODERS = {
    [GENERAL] = {
        [0x00] = function() return "Soft reset" end,
        [0x01] = version_query,
        [0x02] = version_reply,
        [0x03] = function() return "Erase" end,
        [0x04] = function() return "Erase done" end,
        [0x0B] = upgrade_start,
        [0x0C] = upgrade_start_reply,
        [UPGRADE_DATA] = upgrade_data,
        [0x0E] = with_sequence("Data acknowledgement"),
        [0x0F] = with_sequence("Stop upgrade"),
        [0x10] = verify_result,
    },
    [GIMBAL] = { [0x00] = heartbeat },
}

local V1_COMMANDS = { [GENERAL] = GENERAL_COMMANDS, [GIMBAL] = GIMBAL_COMMANDS }

local function command_name(frame)
    if frame.version == 0 then return V0_COMMANDS[frame.command_id] end
    return (V1_COMMANDS[frame.command_set] or {})[frame.command_id]
end

-- The header fields up to the command id; returns the frame's parts.
local function dissect_header(tree, tvb)
    local word = tvb(1, 2)
    local frame = { length = bit32.band(word:le_uint(), 0x03FF), version = bit32.rshift(word:le_uint(), 10) }
    tree:add(f.sync, tvb(0, 1))
    tree:add_le(f.length, word)
    tree:add_le(f.version, word)
    local sum_item = tree:add(f.header_sum, tvb(3, 1))
    local expected_sum = (tvb(0, 1):uint() + tvb(1, 1):uint() + tvb(2, 1):uint()) % 256
    if tvb(3, 1):uint() ~= expected_sum then
        sum_item:add_proto_expert_info(expert.bad_header_sum, string.format("bad header sum (expected 0x%02X)",
            expected_sum))
    end
    if frame.version > 1 then return frame end
    if frame.version == 1 then
        frame.header_length = V1_OVERHEAD - 2
        if tvb:len() < frame.header_length then return frame end
        frame.sequence = tvb(4, 2)
        tree:add_le(f.sequence, frame.sequence)
        tree:add(f.flags, tvb(6, 1))
        tree:add(f.byte7, tvb(7, 1))
        tree:add(f.byte8, tvb(8, 1))
        tree:add(f.command_set, tvb(9, 1))
        frame.command_set = tvb(9, 1):uint()
    else
        frame.header_length = V0_OVERHEAD - 2
        if tvb:len() < frame.header_length then return frame end
    end
    local id_range = tvb(frame.header_length - 1, 1)
    frame.command_id = id_range:uint()
    tree:add(f.command_id, id_range):append_text(" (" .. (command_name(frame) or "unknown") .. ")")
    return frame
end

local function decoder_for(frame)
    if frame.version == 0 then return V0_DECODERS[frame.command_id] end
    if frame.version == 1 then return (V1_DECODERS[frame.command_set] or {})[frame.command_id] end
end

local function check_crc(tree, tvb, frame)
    local crc_range = tvb(frame.length - 2, 2)
    local item = tree:add_le(f.crc, crc_range)
    local expected = crc16_modbus(tvb(0, frame.length - 2))
    if crc_range:le_uint() ~= expected then
        item:add_proto_expert_info(expert.bad_crc, string.format("bad CRC (expected 0x%04X)", expected))
        return false
    end
    return true
end

-- An upgrade data packet kept as its header: the packet comment holds the
-- payload's SHA-256 and length.
local function digested(tree, frame)
    local comment = comment_field()
    tree:add_proto_expert_info(expert.digested,
        "payload digested" .. (comment and (": " .. tostring(comment.value)) or ""))
    if frame.sequence then tree:add_le(f.upgrade_sequence, frame.sequence):set_generated() end
    local name = frame.command_id == UPGRADE_DATA and "Upgrade data" or command_name(frame) or "Frame"
    return string.format("%s seq %d, payload digested", name, frame.sequence and frame.sequence:le_uint() or 0)
end

-- A frame whose header was read: its payload, CRC and Info text.
local function dissect_body(tree, tvb, frame)
    local decode = decoder_for(frame)
    local name = string.format("0x%02X", frame.command_id)
    if not decode then
        tree:add_proto_expert_info(expert.unknown, "unknown command " .. name)
    end
    if tvb:len() < tvb:reported_len() and tvb:len() == frame.header_length then
        return digested(tree, frame)
    end
    if frame.length < frame.header_length + 2 then
        tree:add_proto_expert_info(expert.malformed,
            string.format("length %d is too short for a version-%d frame", frame.length, frame.version))
        return "Malformed frame"
    end
    if tvb:len() < frame.length then
        tree:add_proto_expert_info(expert.truncated,
            string.format("frame of %d bytes, %d recorded", frame.length, tvb:len()))
        return "Frame cut short"
    end
    local payload_length = frame.length - frame.header_length - 2
    local payload = tvb(frame.header_length, payload_length)
    local payload_tree = payload_length > 0 and tree:add(f.payload, payload) or tree
    check_crc(tree, tvb, frame)
    if not decode then return "unknown command " .. name end
    return decode(payload_tree, payload, frame)
end

local function dropped_run(tvb)
    local comment = comment_field()
    if comment and tostring(comment.value):find("^dropped") then return true end
    return tvb:len() == 0 or tvb(0, 1):uint() ~= SYNC
end

local function set_direction(pinfo)
    local direction = direction_field()
    if not direction then return end
    if direction.value == 1 then
        pinfo.p2p_dir = P2P_DIR_RECV
        pinfo.cols.src, pinfo.cols.dst = "controller", "tool"
    elseif direction.value == 2 then
        pinfo.p2p_dir = P2P_DIR_SENT
        pinfo.cols.src, pinfo.cols.dst = "tool", "controller"
    end
end

function tavox.dissector(tvb, pinfo, root)
    pinfo.cols.protocol = "TAVOX"
    set_direction(pinfo)
    local tree = root:add(tavox, tvb())
    local info
    if dropped_run(tvb) then
        local text = string.format("resynchronisation: %d bytes dropped", tvb:reported_len())
        tree:add(f.dropped, tvb()):add_proto_expert_info(expert.resync, text)
        info = "Dropped " .. tvb:reported_len() .. " bytes"
    end
    if tvb:len() >= 4 and tvb(0, 1):uint() == SYNC then
        local frame = dissect_header(tree, tvb)
        local text = frame.version > 1 and ("Unknown protocol version " .. frame.version)
            or frame.command_id and dissect_body(tree, tvb, frame) or "Frame cut short"
        info = info and (info .. ": " .. text) or text
    end
    pinfo.cols.info = info
    tree:append_text(", " .. info)
    return tvb:len()
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, tavox)
