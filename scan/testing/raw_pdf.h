// Hand-written PDF files for tests and fuzz seeds: objects as text, a correct cross-reference
// table. Header-only, so that builds without the test library (the fuzz build) can use it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace marrowfen::scan::testing {

// A PDF of the given objects (numbered from 1; object 1 is the catalogue) with a correct
// cross-reference table.
inline std::string rawPdf(const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.7\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

// A stream object: `dictionary` entries (without << >>) plus its /Length, then `data`.
inline std::string pdfStream(const std::string& dictionary, const std::string& data) {
  return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
         "\nendstream";
}

// A one-page PDF: the catalogue, the page tree and the page, whose dictionary holds
// `pageEntries` and `/Resources << resources >>`, then `font` as object 4 and the page's
// content stream `contents` as object 5; `more` follow as objects 6, 7, ...
inline std::string onePagePdf(const std::string& pageEntries, const std::string& resources,
                              const std::string& font, const std::string& contents,
                              const std::vector<std::string>& more = {}) {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R " + pageEntries + " /Resources << " + resources +
          " >> /Contents 5 0 R >>",
      font,
      contents,
  };
  objects.insert(objects.end(), more.begin(), more.end());
  return rawPdf(objects);
}

}  // namespace marrowfen::scan::testing
