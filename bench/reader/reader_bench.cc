// Reading-phase benchmark.
//
// Reads the UBL-Invoice schema set (the main document and every module it
// includes or imports) the way a run does - file list read, main document
// parsed into the XML tags table, includes and imports followed, root element
// found - and compares that with a bare DOM parse of the same files from
// memory, in the same process, and shows the cost of a bare SAX scan beside.  Prints both times
// (median of the repetitions) and their ratio; the target is a ratio of at most 1.3.  Exit status 1
// when the reading fails, 2 when the target is missed.
//
//   reader_bench [repetitions] [corpus folder]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "catalogue.h"
#include "messages.h"
#include "parameters.h"
#include "run_driver.h"
#include "run_state.h"
#include "schema_files.h"
#include "xml_tags.h"

using namespace xercesc;
using Clock = std::chrono::steady_clock;

namespace {

// Standard output goes to /dev/null while a timed section prints messages.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

struct ReadResult {
  double seconds = 0;
  int32_t root = -1;
  int32_t tags = 0;
  std::vector<std::string> files;  // every document read
};

ReadResult readingPhase(const std::string& folder) {
  resetProcessState();
  initialiseCatalogue();
  std::snprintf(parms.filePath, sizeof parms.filePath, "%s/", folder.c_str());
  parms.defNameSpace = insertName("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2");
  createPrefixBlock("urn:oasis:names:specification:ubl:schema:xsd:CommonSignatureComponents-2",
                    "sig");
  createPrefixBlock("http://uri.etsi.org/01903/v1.3.2#", "xades");
  createPrefixBlock("http://uri.etsi.org/01903/v1.4.1#", "xades141");
  DataFileBlock* first = fileLists.files.get();
  qualifyFileName(first->fileName, sizeof first->fileName, "UBL-Invoice-2.5.xsd");
  first->length = static_cast<int32_t>(std::filesystem::file_size(first->fileName));

  ReadResult r;
  {
    QuietStdout quiet;
    Clock::time_point start = Clock::now();
    tagsTable.allocate(8192);
    const char* text = readSchemaFiles(first);
    if (text != nullptr) {
      while (*text != '\0' && static_cast<unsigned char>(*text) <= ' ') ++text;
      int32_t status = parseXMLfile(text, 0, first->fileName);
      if (status == 0 && run.errSw == 0) processIncludes();
      if (run.errSw == 0) r.root = findRoot("Invoice");
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
  r.tags = tagsTable.tags.count();
  for (const auto& [id, file] : tagsTable.documentFile) r.files.push_back(file);
  return r;
}

double bareParse(const std::vector<std::string>& texts) {
  Clock::time_point start = Clock::now();
  for (const std::string& text : texts) {
    XercesDOMParser parser;
    parser.setValidationScheme(XercesDOMParser::Val_Auto);
    parser.setDoNamespaces(true);
    parser.setCreateEntityReferenceNodes(false);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "", false);
    parser.parse(source);
    if (parser.getDocument() == nullptr) std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The scan alone: a SAX parse of the same texts that keeps nothing.
double bareScan(const std::vector<std::string>& texts) {
  Clock::time_point start = Clock::now();
  for (const std::string& text : texts) {
    std::unique_ptr<SAX2XMLReader> reader(XMLReaderFactory::createXMLReader());
    reader->setFeature(XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(XMLUni::fgXercesSchema, false);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "", false);
    reader->parse(source);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::string corpus = argc > 2 ? argv[2] : std::string(KOVA_CORPUS_DIR);
  std::string folder = corpus + "/ubl-2.5/maindoc";

  ReadResult warm = readingPhase(folder);  // also initialises the parser
  if (warm.root <= 0) {
    std::printf("reading the UBL-Invoice set failed (errSw=%d)\n", run.errSw);
    return 1;
  }
  std::vector<std::string> texts;
  size_t bytes = 0;
  for (const std::string& f : warm.files) {
    std::FILE* in = std::fopen(f.c_str(), "rb");
    std::string t(std::filesystem::file_size(f), '\0');
    if (in == nullptr || std::fread(t.data(), 1, t.size(), in) != t.size()) return 1;
    std::fclose(in);
    bytes += t.size();
    texts.push_back(std::move(t));
  }
  bareParse(texts);

  std::vector<double> reading, bare, scan;
  for (int i = 0; i < repetitions; ++i) {
    reading.push_back(readingPhase(folder).seconds);
    bare.push_back(bareParse(texts));
    scan.push_back(bareScan(texts));
  }
  double r = median(reading), b = median(bare), sc = median(scan);
  std::printf("UBL-Invoice set: %zu files, %zu bytes, %d tags, root at tag %d\n", texts.size(),
              bytes, warm.tags, warm.root);
  std::printf("reading phase (files, parse, tags table, includes, imports, root): %.2f ms\n",
              r * 1e3);
  std::printf("bare DOM parse of the same texts from memory:                    %.2f ms\n",
              b * 1e3);
  std::printf(
      "bare SAX scan of the same texts from memory:                     %.2f ms (ratio %.3f)\n",
      sc * 1e3, r / sc);
  std::printf(
      "ratio %.3f (target <= 1.3), median of %d repetitions; ratio of the fastest runs %.3f\n",
      r / b, repetitions,
      *std::min_element(reading.begin(), reading.end()) /
          *std::min_element(bare.begin(), bare.end()));
  return r / b <= 1.3 ? 0 : 2;
}
