// Every input kept under fuzz/regressions/ (once a fuzz target crashed or
// hung on it) goes through the fuzz target's own code again; the test program
// would crash or hang where the target did.  Inputs of the seed corpora are
// run too, so that the targets themselves stay sound in the ordinary build.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

// The targets' entry points, renamed for this program (see CMakeLists.txt).
extern "C" int parametersFuzzInput(const uint8_t* data, size_t size);
extern "C" int schemaModelFuzzInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> keptInputs(const std::string& target) {
  std::vector<std::string> files;
  std::filesystem::path dir =
      std::filesystem::path(KOVA_SOURCE_DIR) / "fuzz" / "regressions" / target;
  if (std::filesystem::is_directory(dir)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
  }
  return files;
}

class FuzzRegression : public KovaTest {};

TEST_F(FuzzRegression, KeptInputsRunThroughTheTargets) {
  struct Target {
    const char* name;
    int (*input)(const uint8_t*, size_t);
  };
  const Target targets[] = {{"parameters", parametersFuzzInput},
                            {"schema_model", schemaModelFuzzInput}};
  for (const Target& t : targets) {
    std::vector<std::string> files = keptInputs(t.name);
    EXPECT_FALSE(files.empty()) << "no kept inputs for " << t.name;
    for (const std::string& file : files) {
      SCOPED_TRACE(file);
      std::string bytes = readFile(file);
      startCapture();
      EXPECT_EQ(t.input(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      stopCapture();
    }
  }
}

}  // namespace
