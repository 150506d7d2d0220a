#include "DesktopTest.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <vector>

#include "DriverSupport.h"
#include "JobDialogIds.h"
#include "OptionDialogIds.h"
#include "Screenshot.h"
#include "TestFiles.h"
#include "WindowRobot.h"

namespace lym::gui_test {
namespace {
namespace fs = std::filesystem;

constexpr const char* kMainCaption = "LYM - V 1.0.1";
constexpr const char* kEncoderText = "V 1.0.1, Normal + Standard";

struct TSourceFile {
  const char* Name;
  test::WaveSpec Spec;
};

// Every sample size; a name beyond ASCII; WAVE metadata before and after the samples.
const TSourceFile kSources[] = {
    {"Grüße ♪.wav", {.bits = 16, .channels = 2, .rate = 44100, .samples = 66150, .seed = 1}},
    {"mono 8 bit.wav", {.bits = 8, .channels = 1, .rate = 22050, .samples = 20000, .seed = 2}},
    {"metadata 24.wav",
     {.bits = 24,
      .channels = 2,
      .rate = 48000,
      .samples = 30000,
      .seed = 3,
      .listBytes = 100,
      .trailerBytes = 40}},
};

// Files for the stop: with the slowest preset each takes about half a second under Wine, and the
// batch asks whether to stop every two seconds of audio. Far more files than the batch gets through
// before the second stop: the first question may come late on a busy machine, and the batch must
// still run when "&Stop" is clicked again.
constexpr int kLongFileCount = 12;
constexpr test::WaveSpec kLongSpec = {.samples = 6 * 44100, .seed = 7};

std::string WithExtension(const std::string& name, const char* extension) {
  return Utf8Name(Utf8Path(name).replace_extension(extension));
}

std::string AudioFormatText(const test::WaveSpec& spec) {
  return "PCM, " + std::to_string(spec.rate) + " Hz, " + std::to_string(spec.bits) + " Bits, " +
         std::to_string(spec.channels) + " Channels";
}

// The WAVE header ends with the data chunk's header; a LIST chunk comes before it, a trailing
// chunk after the samples.
std::string WaveMetaText(const test::WaveSpec& spec) {
  const int header = 44 + (spec.listBytes > 0 ? 8 + spec.listBytes : 0);
  const int footer = spec.trailerBytes > 0 ? 8 + spec.trailerBytes : 0;
  return "Header " + std::to_string(header) + ", Footer " + std::to_string(footer) + " Bytes";
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The lines of a text box or a protocol file, without line ends and trailing blanks, and without
// the empty lines at the end.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// The line of the batch's log that begins with the file's name.
std::string FileLine(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    if (line.starts_with(name)) return line;
  }
  throw TCheckFailure("no line for " + name + " in the job window's text box");
}

// The sources' names with the extension (".wav", ".lym"), sorted like a folder's listing.
std::vector<std::string> SourceNames(const char* extension) {
  std::vector<std::string> names;
  for (const TSourceFile& source : kSources) names.push_back(WithExtension(source.Name, extension));
  std::sort(names.begin(), names.end());
  return names;
}

// Checks what the batch reported after each file's name and returns the files' lines.
std::vector<std::string> CheckFileResults(const std::vector<std::string>& lines,
                                          const std::vector<std::string>& names,
                                          const std::regex& expected) {
  std::vector<std::string> fileLines;
  for (const std::string& name : names) {
    fileLines.push_back(FileLine(lines, name));
    const std::string result = Trimmed(fileLines.back().substr(name.size()));
    Check(std::regex_match(result, expected), "unexpected result for " + name + ": " + result);
  }
  return fileLines;
}

// Ratio and speed.
std::vector<std::string> CheckCompressionResults(const std::vector<std::string>& lines) {
  static const std::regex result(R"(\d+\.\d\d% +\d+\*)");
  return CheckFileResults(lines, SourceNames(".wav"), result);
}

// Speed and "Ok".
std::vector<std::string> CheckDecompressionResults(const std::vector<std::string>& lines) {
  static const std::regex result(R"(\d+\* Ok)");
  return CheckFileResults(lines, SourceNames(".lym"), result);
}

void CheckProtocolHoldsLines(const fs::path& protocol, const std::vector<std::string>& lines) {
  const std::vector<std::string> saved = Lines(ReadText(protocol));
  for (const std::string& line : lines) {
    Check(std::find(saved.begin(), saved.end(), line) != saved.end(),
          Utf8Name(protocol.filename()) + " lacks the line \"" + line + "\"");
  }
}

// The file information's block of one file: from its title line to the next title.
std::vector<std::string> InformationBlock(const std::vector<std::string>& lines,
                                          const std::string& name) {
  const std::string title = "=== " + name + " =";
  auto begin = std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.starts_with(title); });
  Check(begin != lines.end(), "no information title for " + name);
  auto end = std::find_if(begin + 1, lines.end(),
                          [](const std::string& line) { return line.starts_with("=== "); });
  return std::vector<std::string>(begin, end);
}

std::string LabelledValue(const std::vector<std::string>& block, const std::string& label) {
  for (const std::string& line : block) {
    const std::string text = Trimmed(line);
    if (text.starts_with(label)) return Trimmed(text.substr(label.size()));
  }
  throw TCheckFailure("no line \"" + label + "\" in the information of " + block.front());
}

void CheckInformation(const std::vector<std::string>& lines, const std::string& name,
                      const test::WaveSpec& spec) {
  const std::vector<std::string> block = InformationBlock(lines, name);
  const std::pair<const char*, std::string> expected[] = {
      {"Samples per channel:", std::to_string(spec.samples)},
      {"Audio format:", AudioFormatText(spec)},
      {"Encoder:", kEncoderText},
      {"Wave file meta data:", WaveMetaText(spec)},
      {"Status:", "Ok"},
  };
  for (const auto& [label, value] : expected) {
    const std::string shown = LabelledValue(block, label);
    Check(shown == value,
          name + ": \"" + label + "\" shows \"" + shown + "\", not \"" + value + "\"");
  }
}

void Passed(const char* step) {
  std::printf("ok: %s\n", step);
  std::fflush(stdout);
}

class TDesktopSession {
 public:
  explicit TDesktopSession(const TDesktopTestOptions& options);
  void Run();

 private:
  void MakeSourceFiles();
  void CheckMainWindow();
  void CheckAboutBox();
  void CheckGeneralOptions();
  void CompressSources();
  void SetCompressionProtocol(HWND job);
  void TestAndDecompress();
  void ShowFileInformation();
  void StopCompressing();
  void SelectSlowestPreset(HWND job);
  HWND AskToStop(HWND job);
  void Answer(HWND question, int button);
  void CheckStoppedBatch(HWND job);
  void ExitProgram();

  HWND OpenJobWindow(int mainButton, const std::string& caption);
  void CloseJobWindow(HWND job);
  HWND OpenOptions(HWND job, const std::string& caption);
  void ConfirmOptions(HWND options);
  void AddFiles(HWND job, const std::vector<fs::path>& files);
  // Runs the batch over the files added last and returns the lines of the text box.
  std::vector<std::string> RunBatch(HWND job, int startButton);
  std::string Progress(HWND job);
  void TakePicture(HWND window, const std::string& name);
  std::vector<fs::path> CompressedFiles() const;

  TDesktopTestOptions options_;
  fs::path sources_, compressed_, longSources_, choiceFile_;
  std::vector<fs::path> sourceFiles_, longFiles_;
  std::unique_ptr<TProgram> program_;
  HWND main_ = nullptr;
  size_t addedFiles_ = 0;
};

TDesktopSession::TDesktopSession(const TDesktopTestOptions& options)
    : options_(options),
      sources_(options.WorkFolder / "sources"),
      compressed_(options.WorkFolder / "compressed"),
      longSources_(options.WorkFolder / "long"),
      choiceFile_(options.WorkFolder / "file-choice.txt") {}

void TDesktopSession::Run() {
  MakeSourceFiles();
  // The program reads the file dialog's answer from this file.
  SetEnvironmentVariableW(L"LYM_TEST_FILE_CHOICE", choiceFile_.wstring().c_str());
  const std::string desktop = EnterTestDesktop("LymTest", 1024, 768);
  program_ = std::make_unique<TProgram>(options_.Program, Utf8Name(options_.WorkFolder), desktop);
  try {
    CheckMainWindow();
    CheckAboutBox();
    CheckGeneralOptions();
    CompressSources();
    TestAndDecompress();
    ShowFileInformation();
    StopCompressing();
    ExitProgram();
  } catch (const TCheckFailure& failure) {
    throw TCheckFailure(std::string(failure.what()) +
                        "\n  windows open:" + DescribeWindows(program_->Id()));
  }
}

void TDesktopSession::MakeSourceFiles() {
  for (const fs::path& folder : {sources_, compressed_, longSources_}) MakeEmptyFolder(folder);
  for (const TSourceFile& source : kSources) {
    sourceFiles_.push_back(sources_ / Utf8Path(source.Name));
    WriteBytes(sourceFiles_.back(), test::MakeWaveFile(source.Spec));
  }
  const std::vector<uint8_t> longWave = test::MakeWaveFile(kLongSpec);
  for (int index = 1; index <= kLongFileCount; ++index) {
    longFiles_.push_back(longSources_ / ("long " + std::to_string(index) + ".wav"));
    WriteBytes(longFiles_.back(), longWave);
  }
}

void TDesktopSession::CheckMainWindow() {
  main_ = WaitForTopWindow(program_->Id(), kMainCaption);
  const std::pair<int, const char*> buttons[] = {
      {IDC_MAIN_COMPRESS, "&Compress"},  {IDC_MAIN_DECOMPRESS, "&Decompress"},
      {IDC_MAIN_FILEINFO, "File &Info"}, {IDC_MAIN_OPTIONS, "&Options"},
      {IDC_MAIN_ABOUT, "&About"},        {IDC_MAIN_EXIT, "E&xit"},
  };
  for (const auto& [id, text] : buttons) {
    Check(ItemText(main_, id) == text, "the main window lacks the button " + std::string(text));
  }
  Passed("main window");
}

void TDesktopSession::CheckAboutBox() {
  Click(main_, IDC_MAIN_ABOUT);
  HWND about = WaitForTopWindow(program_->Id(), "About Lym");
  Check(ItemText(about, IDC_ABOUT_VERSION).find("1.0.1") != std::string::npos,
        "the about box does not show the version");
  Click(about, IDOK);
  WaitUntilClosed(about, "the about box");
  TakePicture(main_, "lym-main");
  Passed("about box");
}

void TDesktopSession::CheckGeneralOptions() {
  Click(main_, IDC_MAIN_OPTIONS);
  HWND options = WaitForTopWindow(program_->Id(), "General Options");
  Check(ItemText(options, IDC_GEN_USE_MMX) == "Use &MMX", "no \"Use &MMX\" box");
  // On by default, unless the processor lacks MMX and the box is disabled.
  Check(ItemChecked(options, IDC_GEN_USE_MMX) == ItemEnabled(options, IDC_GEN_USE_MMX),
        "\"Use &MMX\" is not at its default");
  Click(options, IDCANCEL);
  WaitUntilClosed(options, "\"General Options\"");
  Passed("general options");
}

void TDesktopSession::CompressSources() {
  HWND job = OpenJobWindow(IDC_MAIN_COMPRESS, "Compress");
  Check(ItemText(job, IDC_JOB_ACTION) == "Idle", "a new job window is not idle");
  for (int id : {IDC_JOB_COMPRESS, IDC_JOB_TEST, IDC_JOB_STOP}) {
    Check(!ItemEnabled(job, id), ItemText(job, id) + " is enabled without files");
  }
  AddFiles(job, sourceFiles_);
  CheckCompressionResults(RunBatch(job, IDC_JOB_TEST));
  Check(FileNames(sources_) == SourceNames(".wav"), "\"&Test\" wrote into the source folder");
  Passed("compression test run");

  SetCompressionProtocol(job);
  AddFiles(job, sourceFiles_);
  const std::vector<std::string> fileLines =
      CheckCompressionResults(RunBatch(job, IDC_JOB_COMPRESS));
  CheckProtocolHoldsLines(sources_ / "Lym_Enco_Proto.txt", fileLines);
  TakePicture(job, "lym-compress-job");
  CloseJobWindow(job);
  Check(FilesWithExtension(sources_, ".lym") == SourceNames(".lym"),
        "the .lym files are not beside their sources");
  for (const fs::path& lym : CompressedFiles()) fs::rename(sources_ / lym.filename(), lym);
  Passed("compression");
}

void TDesktopSession::SetCompressionProtocol(HWND job) {
  HWND options = OpenOptions(job, "Compression Options");
  TakePicture(options, "lym-compression-options");
  PressKey(options, IDC_ENC_TABS, VK_RIGHT);
  HWND output = GetDlgItem(options, IDC_ENC_PAGE_OUTPUT);
  WaitUntil([&] { return IsShown(output); }, "the \"&Output\" page");
  Check(!ItemEnabled(output, IDC_OUT_APPEND), "\"&Append\" is enabled with the protocol off");
  Click(output, IDC_OUT_LEVEL_RESULT);
  WaitUntil([&] { return ItemEnabled(output, IDC_OUT_APPEND); },
            "\"&Append\" to be enabled with a protocol level");
  ConfirmOptions(options);
}

void TDesktopSession::TestAndDecompress() {
  HWND job = OpenJobWindow(IDC_MAIN_DECOMPRESS, "Decompress");
  HWND options = OpenOptions(job, "Decompression Options");
  Click(options, IDC_OUT_LEVEL_RESULT);
  ConfirmOptions(options);

  AddFiles(job, CompressedFiles());
  CheckDecompressionResults(RunBatch(job, IDC_JOB_TEST));
  Check(FilesWithExtension(compressed_, ".wav").empty(), "\"&Test\" wrote WAVE files");
  Passed("decompression test run");

  AddFiles(job, CompressedFiles());
  const std::vector<std::string> fileLines =
      CheckDecompressionResults(RunBatch(job, IDC_JOB_DECOMPRESS));
  for (const std::string& name : SourceNames(".wav")) {
    Check(ReadBytes(compressed_ / Utf8Path(name)) == ReadBytes(sources_ / Utf8Path(name)),
          name + " did not come back byte for byte");
  }
  CheckProtocolHoldsLines(compressed_ / "Lym_Deco_Proto.txt", fileLines);
  CloseJobWindow(job);
  Passed("decompression");
}

void TDesktopSession::ShowFileInformation() {
  HWND job = OpenJobWindow(IDC_MAIN_FILEINFO, "File Information");
  Check(!IsShown(GetDlgItem(job, IDC_JOB_FRAME_PROGRESS)),
        "the information window shows a file progress");
  HWND options = OpenOptions(job, "File Information Options");
  Check(ItemChecked(options, IDC_INFO_SHOW_ANY), "\"Any information\" is not the default");
  Click(options, IDC_INFO_SAVE_PROTOCOL);
  WaitUntil([&] { return ItemChecked(options, IDC_INFO_SAVE_PROTOCOL); },
            "\"&Save protocol\" to be checked");
  ConfirmOptions(options);

  AddFiles(job, CompressedFiles());
  const std::vector<std::string> lines = RunBatch(job, IDC_JOB_START);
  for (const TSourceFile& source : kSources) {
    CheckInformation(lines, WithExtension(source.Name, ".lym"), source.Spec);
  }
  Check(Lines(ReadText(compressed_ / "Lym_Info_Proto.txt")) == lines,
        "Lym_Info_Proto.txt differs from the text box");
  CloseJobWindow(job);
  Passed("file information");
}

void TDesktopSession::StopCompressing() {
  HWND job = OpenJobWindow(IDC_MAIN_COMPRESS, "Compress");
  SelectSlowestPreset(job);
  AddFiles(job, longFiles_);
  Click(job, IDC_JOB_COMPRESS);
  WaitUntil([&] { return ItemEnabled(job, IDC_JOB_STOP); }, "\"&Stop\" to be enabled by the run");
  // Neither the close box nor Escape may close the window while its batch runs; both arrive
  // before the click on "&Stop", so they have been refused once its question shows.
  PostClose(job);
  PostCancel(job);
  HWND question = AskToStop(job);
  Check(IsShown(job), "the job window closed while its batch ran");
  Check(ItemText(job, IDC_JOB_ACTION) == "Compressing...", "no \"Compressing...\" while running");
  const std::string progressAtQuestion = Progress(job);
  Answer(question, IDNO);
  WaitUntil([&] { return Progress(job) != progressAtQuestion; }, "the batch to go on after No");
  Passed("stop answered No");

  Answer(AskToStop(job), IDYES);
  WaitForItemText(job, IDC_JOB_ACTION, "Idle");
  CheckStoppedBatch(job);
  CloseJobWindow(job);
  Passed("stop answered Yes");
}

HWND TDesktopSession::AskToStop(HWND job) {
  Click(job, IDC_JOB_STOP);
  return WaitForMessageBox(program_->Id(), "Stop compressing?");
}

void TDesktopSession::Answer(HWND question, int button) {
  Click(question, button);
  WaitUntilClosed(question, "the question");
}

// The file during which the batch stopped is reported as canceled and leaves no output; the ones
// before it are done.
void TDesktopSession::CheckStoppedBatch(HWND job) {
  const std::string filesShown = ItemText(job, IDC_JOB_FILE_PROGRESS);
  int stopped = 0, count = 0;
  Check(std::sscanf(filesShown.c_str(), "%d / %d", &stopped, &count) == 2 &&
            count == kLongFileCount && stopped >= 1,
        "\"Files:\" shows \"" + filesShown + "\" after the stop");
  const std::vector<std::string> lines = Lines(ItemText(job, IDC_JOB_EDIT_FILES));
  const std::string stoppedName = "long " + std::to_string(stopped) + ".wav";
  Check(Trimmed(FileLine(lines, stoppedName).substr(stoppedName.size())) == "Canceled",
        stoppedName + " is not reported as canceled");
  std::vector<std::string> expected;
  for (int index = 1; index <= kLongFileCount; ++index) {
    const std::string name = "long " + std::to_string(index);
    expected.push_back(name + ".wav");
    if (index < stopped) expected.push_back(name + ".lym");
  }
  std::sort(expected.begin(), expected.end());
  // The protocol level set for the compression step still holds; when a stopped batch saves its
  // protocol is the batch's own matter, tested with it.
  std::vector<std::string> left = FileNames(longSources_);
  std::erase(left, "Lym_Enco_Proto.txt");
  Check(left == expected,
        "the files before the stop are not all compressed, or the stopped one left a file behind");
  Check(!ItemEnabled(job, IDC_JOB_STOP) && ItemEnabled(job, IDC_JOB_COMPRESS),
        "the buttons are not back to idle after the stop");
}

void TDesktopSession::SelectSlowestPreset(HWND job) {
  HWND options = OpenOptions(job, "Compression Options");
  HWND encoder = GetDlgItem(options, IDC_ENC_PAGE_ENCODER);
  Click(encoder, IDC_ENC_PRESET_EXTRA);
  Click(encoder, IDC_ENC_EVALUATION_MAX);
  WaitUntil(
      [&] {
        return ItemChecked(encoder, IDC_ENC_PRESET_EXTRA) &&
               ItemChecked(encoder, IDC_ENC_EVALUATION_MAX);
      },
      "\"&4 Extra\" and \"+ &Max\" to be selected");
  ConfirmOptions(options);
}

void TDesktopSession::ExitProgram() {
  Click(main_, IDC_MAIN_EXIT);
  const DWORD exitCode = program_->WaitForExit();
  Check(exitCode == 0, "Lym.exe ended with exit code " + std::to_string(exitCode));
  Passed("exit");
}

HWND TDesktopSession::OpenJobWindow(int mainButton, const std::string& caption) {
  Click(main_, mainButton);
  return WaitForTopWindow(program_->Id(), caption);
}

void TDesktopSession::CloseJobWindow(HWND job) {
  Click(job, IDC_JOB_DONE);
  WaitUntilClosed(job, "the job window");
}

HWND TDesktopSession::OpenOptions(HWND job, const std::string& caption) {
  Click(job, IDC_JOB_OPTIONS);
  return WaitForTopWindow(program_->Id(), caption);
}

void TDesktopSession::ConfirmOptions(HWND options) {
  Click(options, IDOK);
  WaitUntilClosed(options, "the option window");
}

void TDesktopSession::AddFiles(HWND job, const std::vector<fs::path>& files) {
  std::string choice, listing;
  for (const fs::path& file : files) {
    choice += Utf8Name(file) + "\r\n";
    listing += (listing.empty() ? "" : "\r\n") + Utf8Name(file.filename());
  }
  WriteText(choiceFile_, choice);
  Click(job, IDC_JOB_ADD_FILES);
  WaitForItemText(job, IDC_JOB_EDIT_FILES, listing);
  addedFiles_ = files.size();
  WaitForItemText(job, IDC_JOB_FILE_PROGRESS, "0 / " + std::to_string(addedFiles_));
  const std::string folder = Utf8Name(files.front().parent_path());
  Check(ItemText(job, IDC_JOB_PATH) == folder, "\"Path:\" does not show " + folder);
}

std::vector<std::string> TDesktopSession::RunBatch(HWND job, int startButton) {
  const std::string done = std::to_string(addedFiles_) + " / " + std::to_string(addedFiles_);
  Click(job, startButton);
  WaitUntil(
      [&] {
        return ItemText(job, IDC_JOB_FILE_PROGRESS) == done &&
               ItemText(job, IDC_JOB_ACTION) == "Idle";
      },
      "the batch to end with \"Files: " + done + "\"");
  Check(!ItemEnabled(job, IDC_JOB_STOP), "\"&Stop\" stays enabled after the batch");
  Check(ItemEnabled(job, startButton) && ItemEnabled(job, IDC_JOB_ADD_FILES) &&
            ItemEnabled(job, IDC_JOB_DONE),
        "buttons stay disabled after the batch");
  const std::string errors = ItemText(job, IDC_JOB_ERROR_FILE_NUM);
  const std::string warnings = ItemText(job, IDC_JOB_WARNING_FILE_NUM);
  Check(errors == "0" && warnings == "0",
        "the batch counted " + errors + " errors and " + warnings + " warnings");
  return Lines(ItemText(job, IDC_JOB_EDIT_FILES));
}

std::string TDesktopSession::Progress(HWND job) {
  return ItemText(job, IDC_JOB_FILE_PROGRESS) + " at " + ItemText(job, IDC_JOB_FRAME_PROGRESS);
}

void TDesktopSession::TakePicture(HWND window, const std::string& name) {
  if (!options_.PictureFolder) return;
  Activate(window);
  // Time to draw the window in its active state.
  Sleep(500);
  SaveWindowPicture(window, *options_.PictureFolder / (name + ".bmp"));
}

std::vector<fs::path> TDesktopSession::CompressedFiles() const {
  std::vector<fs::path> files;
  for (const std::string& name : SourceNames(".lym")) files.push_back(compressed_ / Utf8Path(name));
  return files;
}

}  // namespace

void RunDesktopTest(const TDesktopTestOptions& options) { TDesktopSession(options).Run(); }

}  // namespace lym::gui_test
