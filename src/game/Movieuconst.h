#pragma once
// The movie screens' own texts: the folder the movies live in, their error-log lines, and the
// mini-game's files.

inline constexpr char MovieFolder[] = "Movie\\";

// The steps of opening a movie, in order; each failing step logs its line.
inline constexpr char LogStreamCreate[] = "IAMMultimedia create failed.";
inline constexpr char LogStreamSetup[] = "AMStream setup failed.";
inline constexpr char LogVideoAdd[] = "PrimaryVideo AddMediaStream failed.";
inline constexpr char LogAudioAdd[] = "PrimaryAudio AddMediaStream failed.";
inline constexpr char LogOpenFile[] = "AMStream OpenFile failed.";
inline constexpr char LogVideoGet[] = "PrimaryVideo GetMediaStream failed.";
inline constexpr char LogVideoQuery[] = "DirectDrawMediaStream QueryInterface failed.";
inline constexpr char LogGetFormat[] = "DDStream GetFormat failed.";
inline constexpr char LogSetFormat[] = "DDStream SetFormat failed.";
inline constexpr char LogCreateSample[] = "DDStream CreateSample failed.";
inline constexpr char LogSampleSurface[] = "StreamSample GetSurface failed.";
inline constexpr char LogSurfaceQuery[] = "DirectDrawSurface7 QueryInterface failed.";

inline constexpr char LogSurfaceCreate[] = "DirectSurface CreateError";

inline constexpr char BatonMarkFile[] = "Baton%04d.csv";
inline constexpr char BatonFrameFile[] = "BatonFrame.png";
inline constexpr char BatonPointFile[] = "BatonPoint.png";
inline constexpr char BatonMarkImageFile[] = "BatonMark.png";
inline constexpr char BatonWaitFile[] = "BatonWait.png";
inline constexpr char BatonOKSound[] = "BatonOK.adp";
inline constexpr char BatonErrSound[] = "BatonErr.adp";
inline constexpr char BatonRetrySound[] = "BatonRetry.adp";
inline constexpr char LogBatonSound[] = "BatonSE CreateError";
inline constexpr char LogMarkOpen[] = "BatonMarkData open failed.";
inline constexpr char LogMarkRead[] = "BatonMarkData read failed.";
