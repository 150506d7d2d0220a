// Every caption, label and message of the desktop program, in one place for the window logic,
// the Win32 layer and the resource script. An "&" marks the access key; "&&" shows one "&".
#pragma once

#include "TextCipher.h"

namespace lym::texts {

// Main window.
inline constexpr const char* kMainCaptionPrefix = "LYM - V ";
inline constexpr const char* kMainCompress = "&Compress";
inline constexpr const char* kMainDecompress = "&Decompress";
inline constexpr const char* kMainFileInfo = "File &Info";
inline constexpr const char* kMainOptions = "&Options";
inline constexpr const char* kMainAbout = "&About";
inline constexpr const char* kMainExit = "E&xit";
inline constexpr const char* kUnknownException = "Unknown error";

// About box: its texts are kept enciphered in the program (Text() gives them back).
inline constexpr const char* kAboutOk = "Ok";
inline constexpr auto kAboutTitle = EncipherText("About Lym");
inline constexpr auto kAboutProduct = EncipherText("Lym - lossless audio compression");
inline constexpr auto kAboutFormats =
    EncipherText("PCM WAVE, 8 to 24 bits, mono or stereo, 8 to 96 kHz");

// Job windows.
inline constexpr const char* kCompressCaption = "Compress";
inline constexpr const char* kDecompressCaption = "Decompress";
inline constexpr const char* kFileInfoCaption = "File Information";
inline constexpr const char* kLabelFiles = "Files:";
inline constexpr const char* kLabelErrors = "Errors:";
inline constexpr const char* kLabelWarnings = "Warnings:";
inline constexpr const char* kLabelAction = "Action:";
inline constexpr const char* kLabelPath = "Path:";
inline constexpr const char* kLabelFileProgress = "File progress:";
inline constexpr const char* kButAddFiles = "&Add Files...";
inline constexpr const char* kButJobOptions = "&Options...";
inline constexpr const char* kButStop = "&Stop";
inline constexpr const char* kButDone = "D&one";
inline constexpr const char* kButCompress = "&Compress";
inline constexpr const char* kButDecompress = "&Decompress";
inline constexpr const char* kButTest = "&Test";
inline constexpr const char* kButStart = "Sta&rt";
inline constexpr const char* kAddFilesTitle = "Add files";
inline constexpr const char* kTooManyFiles =
    "Too many files were chosen at once. Please add fewer files at a time.";
inline constexpr const char* kFileChoiceUnreadable = "Cannot read the file choice ";
// Filters as "description|pattern" pairs; each window adds an all-files entry.
inline constexpr const char* kWaveFilter = "Wave (.wav)| *.wav";
inline constexpr const char* kLymFilter = "Lym (.lym)|*.lym";
inline constexpr const char* kAllFilesFilter = "All files (*.*)|*.*";
inline constexpr const char* kActionIdle = "Idle";
inline constexpr const char* kActionCompressing = "Compressing...";
inline constexpr const char* kActionDecompressing = "Decompressing...";
inline constexpr const char* kActionTesting = "Testing...";
inline constexpr const char* kActionReading = "Reading...";
inline constexpr const char* kStopCompressing = "Stop compressing?";
inline constexpr const char* kStopDecompressing = "Stop decompressing?";
inline constexpr const char* kStopProcessing = "Stop processing?";

// Option windows: buttons and the parts they share.
inline constexpr const char* kOk = "Ok";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kGroupOutput = "&Output";
inline constexpr const char* kGroupProtocol = "&Protocol";
inline constexpr const char* kDestination = "&Destination";
inline constexpr const char* kSameAsSource = "Same as &source";
inline constexpr const char* kUserSpecified = "&User specified";
inline constexpr const char* kBrowse = "&Browse...";
inline constexpr const char* kLevel = "&Level";
inline constexpr const char* kLevelOff = "&Off";
inline constexpr const char* kLevelResult = "&Result";
inline constexpr const char* kAppend = "&Append";

// General options.
inline constexpr const char* kGeneralCaption = "General Options";
inline constexpr const char* kGroupOptimizations = "&Optimizations";
inline constexpr const char* kUseMmx = "Use &MMX";

// Decompression options.
inline constexpr const char* kDecoderCaption = "Decompression Options";
inline constexpr const char* kGroupErrorHandling = "&Error handling";
inline constexpr const char* kDamagedFiles = "&Files";
inline constexpr const char* kDamagedFrames = "Fr&ames";
inline constexpr const char* kSkip = "&Skip";
inline constexpr const char* kRecover = "&Recover";
inline constexpr const char* kMute = "&Mute";
inline constexpr const char* kSaveErrorLog = "&Save error log";
inline constexpr const char* kOverwriteWave = "!!!  &Overwrite existing wave files  !!!";
inline constexpr const char* kRestoreWaveMeta = "Restore wave file &meta data";

// File information options.
inline constexpr const char* kFileInfoOptCaption = "File Information Options";
inline constexpr const char* kWhatToShow = "What to show";
inline constexpr const char* kShowAny = "Any information";
inline constexpr const char* kShowEncoder = "Encoder";
inline constexpr const char* kShowWaveMeta = "Wave meta data";
inline constexpr const char* kSaveProtocol = "&Save protocol";

// Compression options.
inline constexpr const char* kEncoderCaption = "Compression Options";
inline constexpr const char* kPageEncoder = "&Encoder";
inline constexpr const char* kPageOutput = "&Output";
inline constexpr const char* kGroupPresets = "P&resets";
inline constexpr const char* kPresetButtons[] = {"&0 Turbo", "&1 Fast", "&2 Normal", "&3 High",
                                                 "&4 Extra"};
inline constexpr const char* kGroupEvaluation = "&Evaluation";
inline constexpr const char* kEvaluationButtons[] = {"&Standard", "+ &Extra", "+ &Max"};
inline constexpr const char* kVerify = "&Verify";
inline constexpr const char* kDetails = "&Details...";
inline constexpr const char* kOverwriteLym = "!!! &Overwrite existing LYM files !!!";
inline constexpr const char* kSaveWaveMeta = "Save wave file &meta data";
inline constexpr const char* kLevelDiagnostics = "Result && &Diagnostics";

// Encoder details.
inline constexpr const char* kDetailsCaption = "Encoder details of codec 0 (All-in-one)";
inline constexpr const char* kPredictors = "&Predictors";
inline constexpr const char* kPredictorItems[] = {"4", "8", "12", "16", "32", "64", "128", "256"};
inline constexpr const char* kOptimizeQuantization = "Optimize &quantization";
inline constexpr const char* kApplyWindow = "Apply &window";
inline constexpr const char* kFrameDuration = "Frame &Duration";
inline constexpr const char* kFrameDurationItems[] = {"94 ms", "125 ms", "188 ms", "250 ms"};
inline constexpr const char* kChannelDecorrelation = "&Channel Decorrelation";
inline constexpr const char* kPrediction = "&Prediction";
inline constexpr const char* kCheckBoth = "Check &both";
inline constexpr const char* kDifference = "&Difference";
inline constexpr const char* kMidSide = "&Mid-Side";
inline constexpr const char* kPartitionCalculator = "Frame P&artition Calculator";
inline constexpr const char* kResolution = "&Resolution";
inline constexpr const char* kResolutionItems[] = {"64   (15.63 ms)", "128  (7.81 ms)",
                                                   "256  (3.91 ms)"};
inline constexpr const char* kValidate = "&Validate";
inline constexpr const char* kBitCoder = "&Bit Coder";
inline constexpr const char* kOptimizeChoice = "Optimize &choice";
inline constexpr const char* kPrefilter = "Pref&ilter";
inline constexpr const char* kSensitivity = "&Sensitivity";
inline constexpr const char* kSensitivityItems[] = {"Off", "Low", "Medium", "High"};

}  // namespace lym::texts
