// The message catalogue: a text for every message number, placeholders that
// match the inserts, severities, statuses and the fallback layout.
#include <string>

#include "catalogue.h"
#include "messages.h"
#include "run_state.h"
#include "test_support.h"

namespace {

struct MessageShape {
  int32_t number;
  int inserts;    ///< the most inserts any raising place gives
  char severity;  ///< I, W or E
};

// Every message the program raises, with its inserts and kind.
const MessageShape kMessages[] = {
    {9350, 3, 'I'}, {9351, 1, 'I'}, {9352, 1, 'I'}, {9353, 1, 'E'}, {9354, 1, 'E'}, {9356, 1, 'E'},
    {9357, 1, 'E'}, {9358, 1, 'I'}, {9360, 2, 'I'}, {9361, 2, 'I'}, {9362, 1, 'W'}, {9363, 1, 'E'},
    {9364, 1, 'E'}, {9365, 2, 'E'}, {9366, 4, 'E'}, {9367, 2, 'E'}, {9368, 2, 'E'}, {9369, 2, 'E'},
    {9370, 1, 'E'}, {9371, 2, 'E'}, {9372, 1, 'E'}, {9373, 1, 'W'}, {9374, 4, 'W'}, {9375, 2, 'E'},
    {9376, 2, 'E'}, {9377, 1, 'E'}, {9379, 2, 'E'}, {9380, 3, 'E'}, {9381, 3, 'W'}, {9382, 3, 'E'},
    {9383, 2, 'E'}, {9384, 1, 'W'}, {9385, 1, 'E'}, {9386, 0, 'E'}, {9387, 2, 'E'}, {9388, 3, 'W'},
    {9389, 2, 'E'}, {9390, 1, 'E'}, {9391, 2, 'E'}, {9392, 1, 'W'}, {9393, 2, 'E'}, {9394, 1, 'E'},
    {9395, 2, 'E'}, {9396, 1, 'E'}, {9397, 1, 'I'}, {9398, 4, 'E'}, {9399, 1, 'E'}, {9400, 2, 'E'},
    {9401, 1, 'E'}, {9402, 1, 'E'}, {9403, 1, 'E'}, {9404, 2, 'I'}, {9405, 0, 'E'}, {9406, 0, 'I'},
    {9407, 1, 'E'}, {9408, 1, 'I'}, {9409, 1, 'E'}, {9410, 0, 'E'}, {9411, 0, 'E'}, {9412, 1, 'E'},
    {9413, 1, 'E'}, {9414, 2, 'E'}, {9415, 1, 'E'}, {9416, 1, 'E'}, {9417, 2, 'I'}, {9418, 1, 'E'},
    {9419, 1, 'E'}, {9420, 2, 'E'}, {9422, 4, 'E'}, {9423, 1, 'E'}, {9424, 2, 'W'}, {9430, 1, 'I'},
    {9440, 4, 'E'}, {9450, 3, 'E'}, {9451, 2, 'E'}, {9452, 2, 'E'}, {9453, 1, 'E'},
};

}  // namespace

class Catalogue : public KovaTest {};

// Every message has a catalogue text, printed after its prefix, number and
// severity, whose placeholders are its inserts and no others: offered nine
// inserts, it shows exactly the first ones.
TEST_F(Catalogue, EveryMessageHasItsTextInsertsAndSeverity) {
  for (const MessageShape& m : kMessages) {
    SCOPED_TRACE(m.number);
    NlsMessage msg(m.number);
    for (int i = 1; i <= 9; ++i) msg.addInsert("<ins" + std::to_string(i) + ">");
    std::string text = msg.text();
    EXPECT_EQ(text.rfind("KOVA" + std::to_string(m.number) + m.severity + " ", 0), 0u) << text;
    EXPECT_EQ(text.find("no catalogue text"), std::string::npos) << text;
    for (int i = 1; i <= 9; ++i)
      EXPECT_EQ(text.find("<ins" + std::to_string(i) + ">") != std::string::npos, i <= m.inserts)
          << i << " in " << text;
    EXPECT_EQ(text.find('{'), std::string::npos) << text;
  }
}

TEST_F(Catalogue, IntegerInsertIsSignExtended) {
  NlsMessage m(9354);
  m.addInsert(int32_t{-1});
  EXPECT_NE(m.text().find("-1"), std::string::npos) << m.text();
  EXPECT_EQ(m.text().find("4294967295"), std::string::npos);
}

// Reporting a warning leaves the error switch alone in the parameter file
// tests (9384, 9388, 9392); a message reset as an error sets it.
TEST_F(Catalogue, ErrorsSetErrSwAndWarningsDoNot) {
  NlsMessage m(9384);
  m.resetMessage(9351, false);
  EXPECT_EQ(::run.errSw, 0);
  m.resetMessage(9393, true);
  EXPECT_EQ(::run.errSw, 1);
  EXPECT_EQ(m.number(), 9393);
}

