// The process-wide values of one marrowfen-scan run. They are set once by startUp() and
// commonStart(), in the order declared here, and only read afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/command_line.h"
#include "scan/records.h"

namespace marrowfen::scan {

inline constexpr char documentPasswordEnvironmentKey[] = "MARROWFEN_DOCUMENT_PASSWORD";

extern CommandLine commandLine;
extern RecognitionOptions recognitionOptions;
extern double minimumRenderLongEdge;        // recognitionOptions.minimumLongEdge
extern double baseRenderScale;              // recognitionOptions.renderScale
extern double renderCropMargin;             // 0.04: margin kept around the ink when cropping
extern std::vector<std::string> arguments;  // program name, then the positional arguments
extern bool renderOnly;                     // page-rendering mode
extern std::string inputPath;               // the input as typed
extern std::optional<std::string> renderOutputDir;  // page-rendering mode only
extern int64_t renderMaxPages;                      // page limit; 0 or below: none
extern std::string renderPageSelection;             // e.g. "first-last:3:2"; "" otherwise
extern int64_t recognitionWorkers;  // processes that recognise the pages of a PDF; 1: none

extern std::string inputUrl;  // inputPath made absolute against the working directory
extern std::string ext;       // lower-cased extension of inputUrl's last component, or ""

// Sets the values from the argument vector, in order. Calls fail() for option errors and for a
// command line without a positional argument.
void startUp(const std::vector<std::string>& argv);

// Sets inputUrl and ext, checks that the input exists, then runs the mode. Ends through fail()
// or returns the exit status of a successful run.
int commonStart();

// The lower-cased extension of a path's last component ("" when it has no full stop).
std::string pathExtension(std::string_view path);
// `path` made absolute against the working directory, lexically normalised.
std::string absolutePath(std::string_view path);

}  // namespace marrowfen::scan
