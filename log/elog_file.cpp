#include "log/elog_file.h"

#include "log/AppLog.h"
#include "log/elog_port.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
const char DefaultFileName[] = "/tmp/log_file.log";
const size_t DefaultMaxSize = 0x100000;
const int DefaultMaxRotate = 5;
const unsigned char ByteOrderMark[] = { 0xEF, 0xBB, 0xBF };

bool initOk = false;
FILE *fp = nullptr;
std::string fileName;
size_t maxSize = 0;
int maxRotate = 0;

class FileLock
{
public:
    FileLock() { elog_port_file_lock(); }
    ~FileLock() { elog_port_file_unlock(); }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
};

// Opens for appending; a file that is new or empty starts with the byte order mark.
FILE *openLogFile(const std::string &name)
{
    FILE *file = std::fopen(name.c_str(), "a+");
    if (file == nullptr)
        return nullptr;
    std::fseek(file, 0, SEEK_END);
    if (std::ftell(file) == 0) {
        std::fwrite(ByteOrderMark, 1, sizeof ByteOrderMark, file);
        std::fflush(file);
    }
    return file;
}

bool exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string generationName(int generation)
{
    return fileName + "." + std::to_string(generation);
}

// Moves every generation one down and the current file to generation 0; the
// oldest generation is deleted. False, and no further moves, once a rename fails.
bool rotateGenerations()
{
    for (int n = maxRotate - 1; n >= 0; --n) {
        const std::string target = generationName(n);
        const std::string source = n > 0 ? generationName(n - 1) : fileName;
        if (exists(target))
            std::remove(target.c_str());
        if (exists(source) && std::rename(source.c_str(), target.c_str()) != 0)
            return false;
    }
    return true;
}

bool fitsCurrentFile()
{
    std::fseek(fp, 0, SEEK_END);
    const long size = std::ftell(fp);
    // A file whose size cannot be told (a device, a pipe) is never rotated.
    return size < 0 || size_t(size) <= maxSize;
}

void writeRecord(const char *log, size_t size)
{
    std::fwrite(log, 1, size, fp);
    std::fflush(fp);
}
}

ElogErrCode elog_file_init(void)
{
    if (initOk)
        return ELOG_NO_ERR;
    const char *sessionPath = appLogFilePathUtf8();
    ElogFileCfg cfg {};
    cfg.name = sessionPath != nullptr && sessionPath[0] != '\0' ? sessionPath : DefaultFileName;
    cfg.max_size = DefaultMaxSize;
    cfg.max_rotate = DefaultMaxRotate;
    elog_file_config(&cfg);
    initOk = true;
    return ELOG_NO_ERR;
}

void elog_file_config(const ElogFileCfg *cfg)
{
    const FileLock lock;
    if (fp != nullptr) {
        std::fclose(fp);
        fp = nullptr;
    }
    fileName = cfg->name != nullptr ? cfg->name : "";
    maxSize = cfg->max_size;
    maxRotate = cfg->max_rotate;
    if (!fileName.empty())
        fp = openLogFile(fileName);
}

void elog_file_write(const char *log, size_t size)
{
    if (!initOk)
        elog_assert_failed("init_ok", "elog_file_write", 128);
    if (log == nullptr)
        elog_assert_failed("log", "elog_file_write", 129);

    const FileLock lock;
    if (fp == nullptr)
        return;
    if (fitsCurrentFile()) {
        writeRecord(log, size);
        return;
    }
    std::fclose(fp);
    const bool rotated = rotateGenerations();
    fp = openLogFile(fileName);
    // After a failed rotation the old file is still the current one: the
    // record is dropped rather than growing it further.
    if (rotated && fp != nullptr)
        writeRecord(log, size);
}
