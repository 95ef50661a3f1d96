pragma Singleton
import QtQuick 2.12

// The window's one source of look: colours, type sizes, spacing and radii.
// Sizes are design pixels at 1540×960; `dp()` scales them with the window.
QtObject {
    property real uiScale: 1.0
    function dp(v) { return v * uiScale }

    // Colours
    readonly property color primary: "#409EFF"
    readonly property color primaryPressed: "#337ECC"
    readonly property color primaryDisabled: "#A0CFFF"
    readonly property color success: "#67C23A"
    readonly property color warning: "#E6A23C"
    readonly property color danger: "#F56C6C"
    readonly property color info: "#909399"

    readonly property color textPrimary: "#303133"
    readonly property color textRegular: "#606266"
    readonly property color textSecondary: "#909399"
    readonly property color textPlaceholder: "#C0C4CC"

    readonly property color borderBase: "#DCDFE6"
    readonly property color borderLight: "#E4E7ED"
    readonly property color borderLighter: "#EBEEF5"
    readonly property color divider: "#DBDEE5"

    readonly property color windowBackground: "#F5F7FA"
    readonly property color cardBackground: "#FFFFFF"
    readonly property color fieldBackground: "#F5F7FA"
    readonly property color mutedBackground: "#F0F2F5"
    readonly property color idleBackground: "#FAFAFA"

    readonly property color selectionBackground: "#E8F0FE"
    readonly property color selectionText: "#3367D1"

    readonly property color successBackground: "#F0F9EB"
    readonly property color successBorder: "#B3E19D"
    readonly property color successMuted: "#E1F3D8"
    readonly property color warningBackground: "#FDF6EC"
    readonly property color warningBorder: "#F5DAB1"
    readonly property color warningMuted: "#FAECD8"
    readonly property color dangerBackground: "#FEF0F0"
    readonly property color dangerBorder: "#FBC4C4"

    // Two tones, so the ring stands out on white cards and on blue buttons
    // alike: a dark outer line, kept apart from the control by a light one.
    readonly property color focusRing: "#0A2E6B"
    readonly property color focusRingInner: "#FFFFFF"
    readonly property color textOnPrimary: "#FFFFFF"
    readonly property color inputBackground: "#FFFFFF"
    readonly property color transparent: "transparent"

    // Type sizes
    readonly property real fontSmall: dp(12)
    readonly property real fontBody: dp(13)
    readonly property real fontField: dp(14)
    readonly property real fontLabel: dp(16)
    readonly property real fontHeading: dp(18)

    // Spacing and radii
    readonly property real spacingSmall: dp(6)
    readonly property real spacing: dp(10)
    readonly property real spacingLarge: dp(12)
    readonly property real cardPadding: dp(16)
    readonly property real radiusSmall: dp(4)
    readonly property real radius: dp(6)
    readonly property real cardRadius: dp(10)
    readonly property real focusRingWidth: dp(2)

    // Steady figures for live numbers: the widest text a value box or an
    // angle can hold, measured once, so a changing number never resizes its box.
    readonly property string widestAngle: "-000.00°"
    readonly property string widestChannelValue: "00000"

    // Live plots: one colour per axis, and the cursor's guide
    readonly property color plotPitch: primary
    readonly property color plotRoll: success
    readonly property color plotYaw: warning
    readonly property color plotCursor: textSecondary
}
