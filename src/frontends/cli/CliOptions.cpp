#include "CliOptions.h"

#include <algorithm>
#include <optional>

namespace lym::cli {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The value of "--name=value", or nothing when argument is another option.
std::optional<std::string> LongValue(const std::string& argument, const std::string& name) {
  if (!StartsWith(argument, name + "=")) return std::nullopt;
  return argument.substr(name.size() + 1);
}

class TParser {
 public:
  TParser(const std::vector<std::string>& arguments, TCliOptions& options)
      : arguments_(arguments), options_(options) {}

  bool Run(std::string& error) {
    bool filesOnly = false;
    for (next_ = 0; next_ < arguments_.size() && error_.empty();) {
      const std::string& argument = arguments_[next_++];
      if (filesOnly || argument == "-" || !StartsWith(argument, "-")) {
        options_.Files.push_back(argument);
      } else if (argument == "--") {
        filesOnly = true;
      } else if (!Option(argument)) {
        Fail("unknown option '" + argument + "'");
      }
    }
    if (error_.empty()) CheckCombination();
    error = error_;
    return error_.empty();
  }

 private:
  bool Option(const std::string& a) {
    if (a == "-h" || a == "--help") return Set(options_.Help);
    if (a == "--version") return Set(options_.Version);
    if (a == "-q" || a == "--quiet") return Set(options_.Quiet);
    if (a == "-d" || a == "--decompress") return Action(TAction::Decompress);
    if (a == "-t" || a == "--test") return Action(TAction::Test);
    if (a == "-n" || a == "--test-compression") return Action(TAction::TestCompression);
    if (a == "-V" || a == "--verify") return Set(options_.Verify);
    if (a == "-f" || a == "--force") return Set(options_.Overwrite);
    if (a == "--keep-time") return Set(options_.KeepTime);
    if (a == "--delete-input-file") return Set(options_.DeleteInput);
    if (a == "-c" || a == "--stdout") return Set(options_.ToStdout);
    if (a == "-o") return Value(a, options_.OutputFile);
    if (a == "-O") return Value(a, options_.OutputFolder);
    if (a == "-wm0" || a == "-wm1") {
      options_.WaveMeta = a == "-wm1";
      return true;
    }
    if (a == "--error-log" || a == "--no-error-log") {
      options_.ErrorLog = a == "--error-log";
      return true;
    }
    if (a == "--append") return Set(options_.AppendProtocol);
    if (StartsWith(a, "-p") && !StartsWith(a, "--")) return Preset(a.substr(2));
    if (a == "-i" || a == "--info") return Info("0");
    if (StartsWith(a, "-i") && !StartsWith(a, "--")) return Info(a.substr(2));
    if (const auto v = LongValue(a, "--info")) return Info(*v);
    if (a == "--protocol") return (options_.Protocol = 1, true);
    if (const auto v = LongValue(a, "--protocol")) {
      return Choice(a, *v, {"results", "diagnostics"}, 1, options_.Protocol);
    }
    if (const auto v = LongValue(a, "--damaged")) {
      return Flag(a, *v, "keep", "delete", options_.KeepDamaged);
    }
    if (const auto v = LongValue(a, "--lost")) return Flag(a, *v, "mute", "cut", options_.MuteLost);
    if (const auto v = LongValue(a, "--cpu")) return (options_.Cpu = *v, true);
    return TagOption(a);
  }

  bool TagOption(const std::string& a) {
    using TKind = TTagEdit::TKind;
    if (a == "--tag") return TagEdit(a, TKind::SetText, true);
    if (a == "--tag-from-file") return TagEdit(a, TKind::SetFromFile, true);
    if (a == "--remove-tag") return TagEdit(a, TKind::Remove, false);
    if (a == "--remove-all-tags") {
      options_.TagEdits.push_back({TKind::RemoveAll, "", ""});
      return true;
    }
    if (a == "--list-tags") return Set(options_.ListTags);
    return false;
  }

  // "--tag KEY=VALUE" (split at the first '='), "--remove-tag KEY".
  bool TagEdit(const std::string& option, TTagEdit::TKind kind, bool withValue) {
    std::string argument;
    Value(option, argument);
    if (!error_.empty()) return true;
    const size_t split = withValue ? argument.find('=') : argument.size();
    if (split == std::string::npos || split == 0) {
      Fail(option + " needs KEY=" + (kind == TTagEdit::TKind::SetText ? "VALUE" : "FILE"));
      return true;
    }
    const std::string value = withValue ? argument.substr(split + 1) : "";
    options_.TagEdits.push_back({kind, argument.substr(0, split), value});
    return true;
  }

  bool Set(bool& flag) { return flag = true; }

  bool Action(TAction action) {
    if (actionGiven_ && options_.Action != action) Fail("choose only one action");
    options_.Action = action;
    actionGiven_ = true;
    return true;
  }

  bool Value(const std::string& option, std::string& value) {
    if (next_ >= arguments_.size()) return (Fail(option + " needs a value"), true);
    value = arguments_[next_++];
    if (value.empty()) Fail(option + " needs a value");
    return true;
  }

  // "N", "Ne" or "Nm" with N = 0..4.
  bool Preset(const std::string& v) {
    const bool valid = (v.size() == 1 || (v.size() == 2 && (v[1] == 'e' || v[1] == 'm'))) &&
                       v[0] >= '0' && v[0] <= '4';
    if (!valid) return (Fail("invalid preset '-p" + v + "' (use -p0 .. -p4, with e or m)"), true);
    options_.Preset = v[0] - '0';
    options_.Level = v.size() == 1 ? 0 : v[1] == 'e' ? 1 : 2;
    return true;
  }

  bool Info(const std::string& mode) {
    Action(TAction::Info);
    static const char* const kModes[][2] = {{"0", "full"}, {"1", "encoder"}, {"2", "wave"}};
    for (uint8_t m = 0; m < 3; ++m) {
      if (mode == kModes[m][0] || mode == kModes[m][1]) return (options_.InfoMode = m, true);
    }
    if (mode == "json") return (options_.InfoMode = kInfoJson, true);
    Fail("invalid information mode '" + mode + "' (use full, encoder, wave or json)");
    return true;
  }

  bool Choice(const std::string& option, const std::string& value,
              std::initializer_list<const char*> names, uint8_t first, uint8_t& target) {
    uint8_t index = first;
    for (const char* name : names) {
      if (value == name) return (target = index, true);
      ++index;
    }
    Fail("invalid value in '" + option + "'");
    return true;
  }

  bool Flag(const std::string& option, const std::string& value, const char* on, const char* off,
            bool& target) {
    if (value == on || value == off) return (target = value == on, true);
    Fail("invalid value in '" + option + "' (use " + on + " or " + off + ")");
    return true;
  }

  bool WritesOutputs() const {
    return options_.Action == TAction::Compress || options_.Action == TAction::Decompress;
  }

  void CheckCombination() {
    if (options_.Help || options_.Version) return;
    if (options_.Files.empty()) return Fail("no input files");
    CheckStandardStreams();
    if (!error_.empty()) return;
    const bool tags = !options_.TagEdits.empty() || options_.ListTags;
    if (tags && actionGiven_) return Fail("tag options go with compression or .lym files alone");
    const bool inPlace = tags && EditsInPlace(options_.Files);
    const bool outputNamed =
        !options_.OutputFile.empty() || !options_.OutputFolder.empty() || options_.ToStdout;
    if (inPlace && outputNamed) {
      return Fail("tag options edit .lym files in place, with no output option");
    }
    if (options_.ListTags && !inPlace) return Fail("--list-tags lists the tags of .lym files");
    if (options_.DeleteInput && (inPlace || !WritesOutputs())) {
      return Fail("--delete-input-file only with compression or decompression");
    }
    if (!options_.OutputFile.empty() && options_.Files.size() > 1) {
      return Fail("-o names one output, but there are " + std::to_string(options_.Files.size()) +
                  " input files (use -O for a folder)");
    }
  }

  // "-" as the input, -c and "-o -": one input, one output; neither a pipe's source nor its reader
  // has a file's name or time, and a pipe gives nothing back.
  void CheckStandardStreams() {
    TCliOptions& o = options_;
    o.FromStdin = std::find(o.Files.begin(), o.Files.end(), "-") != o.Files.end();
    if (o.OutputFile == "-") {
      o.OutputFile.clear();
      o.ToStdout = true;
    }
    if (o.FromStdin && WritesOutputs() && o.OutputFile.empty() && o.OutputFolder.empty()) {
      o.ToStdout = true;
    }
    if (o.FromStdin && o.Files.size() > 1) return Fail("standard input ('-') is the only input");
    if (o.FromStdin && WritesOutputs() && !o.OutputFolder.empty()) {
      return Fail("standard input needs -o FILE, not -O");
    }
    if ((o.FromStdin || o.ToStdout) && (o.KeepTime || o.DeleteInput)) {
      return Fail("--keep-time and --delete-input-file need input and output files");
    }
    if (o.ToStdout) CheckStandardOutput();
  }

  void CheckStandardOutput() {
    const TCliOptions& o = options_;
    if (!WritesOutputs() && o.Action != TAction::Info) {
      return Fail("standard output (-c) takes the output of compression, -d or -i");
    }
    if (o.Files.size() > 1) {
      return Fail("standard output (-c) takes one output, not " + std::to_string(o.Files.size()));
    }
    if (!o.OutputFile.empty() || !o.OutputFolder.empty()) {
      return Fail("choose standard output (-c) or -o/-O");
    }
    if (o.Action == TAction::Decompress && (!o.MuteLost || !o.KeepDamaged)) {
      return Fail("standard output cannot take back audio: --lost=cut and --damaged=delete need "
                  "an output file");
    }
  }

  void Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }

  const std::vector<std::string>& arguments_;
  TCliOptions& options_;
  size_t next_ = 0;
  bool actionGiven_ = false;
  std::string error_;
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, TCliOptions& options,
                      std::string& error) {
  return TParser(arguments, options).Run(error);
}

std::string HelpText(const std::string& p) {
  return "Usage: " + p + " [ACTION] [OPTIONS] FILE...\n"
"       " + p + " [ACTION] [OPTIONS] - [-o FILE]   (read standard input)\n"
"Lossless compression of PCM WAVE files (8, 16 or 24 bits, mono or stereo, 8 to 96 kHz)\n"
"into .lym files, and back into byte-identical WAVE files.\n"
"\n"
"Actions (default: compress each WAVE file into a .lym file):\n"
"  -d, --decompress        decompress .lym files into WAVE files\n"
"  -t, --test              decode .lym files completely and check them; write nothing\n"
"  -n, --test-compression  compress without writing anything; report ratio and speed\n"
"  -i[MODE], --info[=MODE] report on .lym files; MODE is 0 or full (default),\n"
"                          1 or encoder, 2 or wave (the stored WAVE header and trailer)\n"
"  --info=json             the full report's figures as one JSON document on stdout:\n"
"                          an array with an object per file (keys: man lym)\n"
"\n"
"Compression:\n"
"  -pN, -pNe, -pNm         preset N = 0 (Turbo), 1 (Fast), 2 (Normal, default), 3 (High),\n"
"                          4 (Extra), evaluated Standard (no letter), Extra (e) or Max (m)\n"
"  -V, --verify            decode every frame again and compare it with the input\n"
"\n"
"Output:\n"
"  -o FILE                 name of the output file (only with one input file)\n"
"  -c, --stdout, -o -      write the one output to standard output (the default for\n"
"                          standard input, \"-\"); the report goes to standard error\n"
"  -O DIR                  folder for the outputs, made if missing (default: each input\n"
"                          file's folder)\n"
"  -f, --force             overwrite existing output files (an output replaces the old\n"
"                          file only once it is complete)\n"
"  -wm0, -wm1              leave out / keep the WAVE header and trailer: compression\n"
"                          stores them, decompression restores them (default -wm1)\n"
"  --keep-time             give each output its input file's modification time\n"
"  --delete-input-file     remove each input file once its output is in place and\n"
"                          checked (compression turns -V on); never after a failure,\n"
"                          a warning or damage, nor with -wm0\n"
"\n"
"Decompression and test:\n"
"  --damaged=keep|delete   keep or delete the output of a damaged file (default keep)\n"
"  --lost=mute|cut         replace lost audio by silence or cut it out (default mute)\n"
"  --error-log, --no-error-log\n"
"                          write Lym_Deco_Error.txt about damaged files (default: on\n"
"                          when decompressing, off when testing)\n"
"\n"
"Tags (APEv2; keys regardless of case): on .lym files they edit the tags in place; while\n"
"compressing WAVE files, --tag and --tag-from-file tag the new files\n"
"  --tag KEY=VALUE         set a text item (repeatable)\n"
"  --tag-from-file KEY=FILE\n"
"                          set a binary item from a file; for \"Cover Art (...)\" keys\n"
"                          the file's name, a zero byte, then its bytes\n"
"  --remove-tag KEY        remove an item\n"
"  --remove-all-tags       remove every item (and with them the tag)\n"
"  --list-tags             list the items (after the edits)\n"
"\n"
"Protocols:\n"
"  --protocol[=results|diagnostics]\n"
"                          write the job's protocol file (Lym_Enco_Proto.txt,\n"
"                          Lym_Deco_Proto.txt or Lym_Info_Proto.txt) into the output\n"
"                          folder; diagnostics adds the compression settings\n"
"  --append                add to an existing protocol file instead of replacing it\n"
"\n"
"Other:\n"
"  -q, --quiet             print only the files that did not end well or lost data\n"
"  -h, --help              show this help\n"
"  --version               show the version\n"
"\n"
"Exit status: 0 when every file ended well (warnings included), 1 when any file failed,\n"
"was damaged or was skipped, or anything was lost (WAVE metadata too large to store, a\n"
"protocol file not written), 2 for a usage error; 128 + N when ended by signal N.\n";
}

}  // namespace lym::cli
