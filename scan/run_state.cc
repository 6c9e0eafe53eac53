#include "scan/run_state.h"

#include <sys/stat.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <filesystem>

#include "scan/ocr_run.h"
#include "scan/parallel_recognition.h"
#include "scan/render_pages.h"

namespace marrowfen::scan {

CommandLine commandLine;
RecognitionOptions recognitionOptions;
double minimumRenderLongEdge = 1600;
double baseRenderScale = 2;
double renderCropMargin = 0.04;
std::vector<std::string> arguments;
bool renderOnly = false;
std::string inputPath;
std::optional<std::string> renderOutputDir;
int64_t renderMaxPages = 0;
std::string renderPageSelection;
int64_t recognitionWorkers = 1;
std::string inputUrl;
std::string ext;

void startUp(const std::vector<std::string>& argv) {
  commandLine = parseCommandLine(argv);
  recognitionOptions = commandLine.options;
  minimumRenderLongEdge = recognitionOptions.minimumLongEdge;
  baseRenderScale = recognitionOptions.renderScale;
  renderCropMargin = 0.04;

  arguments.clear();
  arguments.push_back(argv.empty() ? std::string() : argv[0]);
  arguments.insert(arguments.end(), commandLine.positional.begin(), commandLine.positional.end());
  if (arguments.size() < 2) {
    fail(
        "Usage: marrowfen-scan <file-path> OR marrowfen-scan --render-pages <file-path> "
        "<output-dir>");
  }

  // "--render-pages" with fewer than two arguments after it falls through to an OCR run of the
  // path "--render-pages", which then fails as a missing input.
  renderOnly = arguments.size() >= 4 && arguments[1] == "--render-pages";
  if (renderOnly) {
    inputPath = arguments[2];
    renderOutputDir = arguments[3];
    renderMaxPages = arguments.size() > 4 ? readInteger(arguments[4]).value_or(0) : 0;
    renderPageSelection = arguments.size() > 5 ? arguments[5] : std::string();
  } else {
    inputPath = arguments[1];
    renderOutputDir.reset();
    renderMaxPages = 0;
    renderPageSelection.clear();
  }
  recognitionWorkers = recognitionWorkersFromEnvironment();
}

std::string pathExtension(std::string_view path) {
  // The last component, ignoring trailing slashes as a file URL's path does.
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string lowered;
  icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data() + dot + 1, static_cast<int32_t>(name.size() - dot - 1)))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(lowered);
  return lowered;
}

std::string absolutePath(std::string_view path) {
  std::error_code error;
  auto absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  if (error) return std::string(path);
  return absolute.lexically_normal().string();
}

int commonStart() {
  inputUrl = absolutePath(inputPath);
  ext = pathExtension(inputUrl);
  struct stat info;
  // Any file-system object counts, directories included; a dangling link does not.
  if (inputPath.empty() || ::stat(inputPath.c_str(), &info) != 0) {
    fail("Input file does not exist: " + inputPath);
  }
  return renderOnly ? runRenderPages() : runOcr();
}

}  // namespace marrowfen::scan
