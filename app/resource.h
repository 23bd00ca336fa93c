// Resource and control ids of the control panel.
#pragma once

inline constexpr int IDD_MAIN = 100; // the dialog template

inline constexpr int IDI_VELKOR = 200;  // window icon
inline constexpr int IDI_EXIT = 201;    // Exit button picture
inline constexpr int IDI_RESTART = 202; // Restart button picture

// System menu commands.
inline constexpr int IDC_ABOUT = 110;
inline constexpr int IDC_SWL = 111;
inline constexpr int IDC_AMATEUR = 112;
inline constexpr int IDC_RESTART = 113;
inline constexpr int IDC_PORT = 114;        // "Port...": choose the serial port
inline constexpr int IDC_RECAUDIO = 118;    // "Record Audio"
inline constexpr int IDC_RECSTREAM = 119;   // "Record Stream"
inline constexpr int IDC_REMOTE = 400;      // "Remote Control": the rig-control server on or off
inline constexpr int IDC_BANDSCOPE = 401;   // "Band Scope...": the band scope and scanner window
inline constexpr int IDC_STATIONS = 402;    // "Stations...": the station window
inline constexpr int IDC_WEB = 403;         // "Web Remote": the web panel's server on or off
inline constexpr int IDC_ICECAST = 404;     // "Stream to Icecast": the Icecast stream on or off
inline constexpr int IDC_WEBSETTINGS = 405; // "Web Settings...": password and Icecast address

// Keyboard accelerators: IDA_FIRST plus the command's place in
// a11y::ShortcutCommand (access/shortcuts.h).
inline constexpr int IDA_FIRST = 300;

inline constexpr int IDC_GB_AUDIO = 115;
inline constexpr int IDC_AUDIO = 116;
inline constexpr int IDC_GB_COM = 120;
inline constexpr int IDC_COM = 121;
inline constexpr int IDC_GB_SUNIT = 125;
inline constexpr int IDC_SUNIT = 126;
inline constexpr int IDC_LOCK = 127;
inline constexpr int IDC_EXT = 128;
inline constexpr int IDC_GB_FREQ = 129;
inline constexpr int IDC_FREQ = 130;
inline constexpr int IDC_SPINFREQ = 131;
inline constexpr int IDC_AM = 132;
inline constexpr int IDC_CW = 133;
inline constexpr int IDC_SSB = 134;
inline constexpr int IDC_GB_MEMORY = 135;
inline constexpr int IDC_MEMORY = 136;
inline constexpr int IDC_SPINMEMORY = 137;
inline constexpr int IDC_READ = 138;
inline constexpr int IDC_WRITE = 139;
inline constexpr int IDC_GB_SPEED = 140;
inline constexpr int IDC_SPEED = 141;
inline constexpr int IDC_SPINSPEED = 142;
inline constexpr int IDC_GB_DIRECT = 150;
inline constexpr int IDC_DIRECT = 151;
inline constexpr int IDC_BUTTON1 = 152;
inline constexpr int IDC_BUTTON2 = 153;
inline constexpr int IDC_BUTTON3 = 154;
inline constexpr int IDC_BUTTON4 = 155;
inline constexpr int IDC_BUTTON5 = 156;
inline constexpr int IDC_BUTTON6 = 157;
inline constexpr int IDC_BUTTON7 = 158;
inline constexpr int IDC_BUTTON8 = 159;
inline constexpr int IDC_BUTTON9 = 160;
inline constexpr int IDC_BUTTONPOINT = 161;
inline constexpr int IDC_BUTTON0 = 162;
inline constexpr int IDC_BUTTONCLR = 163;
inline constexpr int IDC_SELFREQ = 164;
inline constexpr int IDC_SELMEMORY = 165;
inline constexpr int IDC_SELSPEED = 166;
inline constexpr int IDC_GB_BANDS = 170;

// Amateur band buttons.
inline constexpr int IDC_160M = 171;
inline constexpr int IDC_80M = 172;
inline constexpr int IDC_60M = 173;
inline constexpr int IDC_40M = 174;
inline constexpr int IDC_30M = 175;
inline constexpr int IDC_20M = 176;
inline constexpr int IDC_17M = 177;
inline constexpr int IDC_15M = 178;
inline constexpr int IDC_12M = 179;
inline constexpr int IDC_10M = 180;

// Shortwave broadcast band buttons.
inline constexpr int IDC_120M = 186;
inline constexpr int IDC_90M = 187;
inline constexpr int IDC_75M = 188;
inline constexpr int IDC_60MSW = 189;
inline constexpr int IDC_49M = 190;
inline constexpr int IDC_41M = 191;
inline constexpr int IDC_31M = 192;
inline constexpr int IDC_25M = 193;
inline constexpr int IDC_22M = 194;
inline constexpr int IDC_19M = 195;
inline constexpr int IDC_16M = 196;
inline constexpr int IDC_15MSW = 197;
inline constexpr int IDC_13M = 198;
inline constexpr int IDC_11M = 199;
