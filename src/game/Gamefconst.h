#pragma once
// The main form's own strings: file names, INI sections and keys, log lines and messages.
// Message texts are Shift-JIS bytes, as the program's own strings are.

inline constexpr char GameTitle[] = "ZB";
inline constexpr char InstanceName[] = "MOSSLANTERN";
inline constexpr char IniFileName[] = "ZB.INI";
inline constexpr char IniSection[] = "ZB";
inline constexpr char IniDebugSection[] = "ZB Debug";
inline constexpr char LogIniSaveError[] = "ZB.INI SaveError";
inline constexpr char LogIniSaveSync[] = "ZB.INI SyncError";

inline constexpr char CursorFileName[] = "Cursor.png";
inline constexpr char WaitFileName[] = "Wait.bmp";
inline constexpr char CapLogoFileName[] = "Cap_Logo.png";
inline constexpr char CapCopyFileName[] = "Cap_Copy.png";
// A capture goes to the clipboard only while a name of this pattern, numbered 0 to 998, is free.
inline constexpr char CaptureFileName[] = "ZBCap%03d.png";

inline constexpr char LogTimerEvent[] = "TimerEvent CreateError";
inline constexpr char LogDirectX[] = "DirectX CreateError";
inline constexpr char LogDirectSound[] = "DirectSound InitError";
inline constexpr char LogSoundDeviceReason[] = "The sound device cannot be opened: ";
inline constexpr char LogDirectDraw[] = "DirectDraw InitError";
inline constexpr char LogConvertImage[] = "ConvertImage CreateError";
inline constexpr char LogCursorImage[] = "CursorImage or Alpha CreateError";
inline constexpr char LogCursorBack[] = "CursorBack CreateError";
inline constexpr char LogFPSBack[] = "FPSBack CreateError";
inline constexpr char LogWaitImage[] = "WaitImage CreateError";
inline constexpr char LogCapLogo[] = "CapLogoImage or Alpha CreateError";
inline constexpr char LogCapCopy[] = "CapCopyRightImage or Alpha CreateError";
inline constexpr char LogMainPanel[] = "MainPanel CreateError";
inline constexpr char LogShowException[] = "Exception on FormShow";
inline constexpr char LogShowError[] = "Error on FormShow";
inline constexpr char LogCaptureFailed[] = "Failed to copy image to clipboard!";
// Followed by the display's name and LogDisplayLostEnd.
inline constexpr char LogDisplayLost[] = "Display ";
inline constexpr char LogDisplayLostEnd[] = " lost";
// "不明な例外によりゲーム中断"
inline constexpr char LogUnknownException[] =
    "\x95\x73\x96\xbe\x82\xc8\x97\xe1\x8a\x4f\x82\xc9\x82\xe6\x82\xe8\x83\x51\x81\x5b\x83\x80\x92\x86\x92\x66";

inline constexpr char CaptionError[] = "Error";
inline constexpr char CaptionQJError[] = "QJ Error";
inline constexpr char CaptionZBError[] = "ZB Error";
// "初期化に失敗しました。"
inline constexpr char MsgInitFailed[] = "\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "DirectX7以上が必要です。"
inline constexpr char MsgDirectX7[] = "DirectX7\x88\xc8\x8f\xe3\x82\xaa\x95\x4b\x97\x76\x82\xc5\x82\xb7\x81\x42";
// "800x600,16bitカラー以上の環境が必要です。"
inline constexpr char MsgWindowDepth[] =
    "800x600,16bit\x83\x4a\x83\x89\x81\x5b\x88\xc8\x8f\xe3\x82\xcc\x8a\xc2\x8b\xab\x82\xaa\x95\x4b\x97\x76\x82\xc5\x82\xb7\x81\x42";
// "640x480,16bitカラー以上の環境が必要です。"
inline constexpr char MsgFullDepth[] =
    "640x480,16bit\x83\x4a\x83\x89\x81\x5b\x88\xc8\x8f\xe3\x82\xcc\x8a\xc2\x8b\xab\x82\xaa\x95\x4b\x97\x76\x82\xc5\x82\xb7\x81\x42";
// "DirectSoundの初期化に失敗しました。"
inline constexpr char MsgDirectSound[] =
    "DirectSound\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "DirectDrawの初期化に失敗しました。"
inline constexpr char MsgDirectDraw[] =
    "DirectDraw\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
