// The key decoder: terminal byte sequences and the console codes they must become.
#include "platform/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Feeds the bytes; a '\x01' pause marker stands for the wait after a lone Esc running out.
std::vector<int> decode(const std::string &bytes, bool pauseAtEnd = true) {
  KeyDecoder decoder;
  std::vector<int> codes;
  int keys[kMaxDecodedKeys];
  for (unsigned char byte : bytes) {
    const int count = decodeKeyByte(decoder, byte, keys);
    codes.insert(codes.end(), keys, keys + count);
  }
  if (pauseAtEnd && keyDecoderAwaitsPause(decoder)) {
    const int count = decodeKeyPause(decoder, keys);
    codes.insert(codes.end(), keys, keys + count);
  }
  return codes;
}

TEST(KeyDecoder, TurnsSequencesIntoConsoleCodes) {
  struct Case {
    const char *name;
    std::string bytes;
    std::vector<int> codes;
  };
  const Case cases[] = {
      {"plain keys", "q0x", {'q', '0', 'x'}},
      {"Ctrl+C", "\x03", {3}},
      {"high bytes", "\xe3\x81\x82", {0xe3, 0x81, 0x82}},
      {"Up", "\x1b[A", {224, 72}},
      {"Down", "\x1b[B", {224, 80}},
      {"Right", "\x1b[C", {224, 77}},
      {"Left", "\x1b[D", {224, 75}},
      {"Home", "\x1b[H", {224, 71}},
      {"End", "\x1b[F", {224, 79}},
      {"application Up", "\x1bOA", {224, 72}},
      {"application Home", "\x1bOH", {224, 71}},
      {"Home as 1~", "\x1b[1~", {224, 71}},
      {"Home as 7~", "\x1b[7~", {224, 71}},
      {"Insert", "\x1b[2~", {224, 82}},
      {"Delete", "\x1b[3~", {224, 83}},
      {"End as 4~", "\x1b[4~", {224, 79}},
      {"PgUp", "\x1b[5~", {224, 73}},
      {"PgDn", "\x1b[6~", {224, 81}},
      {"F1", "\x1bOP", {0, 59}},
      {"F4", "\x1bOS", {0, 62}},
      {"F1 as 11~", "\x1b[11~", {0, 59}},
      {"F5", "\x1b[15~", {0, 63}},
      {"F6", "\x1b[17~", {0, 64}},
      {"F10", "\x1b[21~", {0, 68}},
      {"F11", "\x1b[23~", {224, 133}},
      {"F12", "\x1b[24~", {224, 134}},
      {"Linux console F1", "\x1b[[A", {0, 59}},
      {"Linux console F5", "\x1b[[E", {0, 63}},
      {"Shift+F1", "\x1b[1;2P", {0, 84}},
      {"Shift+F10", "\x1b[21;2~", {0, 93}},
      {"Ctrl+F1", "\x1b[1;5P", {0, 94}},
      {"Ctrl+F10", "\x1b[21;5~", {0, 103}},
      {"Alt+F1", "\x1b[1;3P", {0, 104}},
      {"Alt+F10 ends like q", "\x1b[21;3~", {0, 'q'}},
      {"Alt+F1 in SS3 form", "\x1bO3P", {0, 104}},
      {"Ctrl+Up", "\x1b[1;5A", {224, 141}},
      {"Shift+Up", "\x1b[1;2A", {224, 72}},
      {"Alt+Up", "\x1b[1;3A", {0, 152}},
      {"Ctrl+F12", "\x1b[24;5~", {224, 138}},
      {"lone Esc after a pause", "\x1b", {27}},
      {"Esc then a key", "\x1bx", {27, 'x'}},
      {"Esc Esc", "\x1b\x1b", {27, 27}},
      {"unknown sequence swallowed whole", "\x1b[25~", {}},
      {"unknown final swallowed", "\x1b[5Z1", {'1'}},
      {"private marker swallowed", "\x1b[?1;2c", {}},
      {"intermediate byte swallowed", "\x1b[1 q", {}},
      {"too many parameters swallowed", "\x1b[1;2;3A6", {'6'}},
      {"huge parameter swallowed", "\x1b[99999999999999~5", {'5'}},
      {"control byte cuts a sequence short", "\x1b[1\x03", {3}},
      {"Esc restarts a sequence", "\x1b[1\x1b[A", {224, 72}},
      {"unknown Linux console key", "\x1b[[Z4", {'4'}},
      {"keys around a sequence", "2\x1b[A5", {'2', 224, 72, '5'}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(c.bytes), c.codes);
  }
}

TEST(KeyDecoder, WaitsForAPauseOnlyAfterALoneEsc) {
  KeyDecoder decoder;
  int keys[kMaxDecodedKeys];
  EXPECT_FALSE(keyDecoderAwaitsPause(decoder));
  EXPECT_EQ(decodeKeyByte(decoder, 27, keys), 0);
  EXPECT_TRUE(keyDecoderAwaitsPause(decoder));
  EXPECT_EQ(decodeKeyByte(decoder, '[', keys), 0);
  EXPECT_FALSE(keyDecoderAwaitsPause(decoder));
  // A pause inside a sequence drops it rather than inventing keys.
  EXPECT_EQ(decodeKeyPause(decoder, keys), 0);
  EXPECT_EQ(decodeKeyByte(decoder, 'A', keys), 1);
  EXPECT_EQ(keys[0], 'A');
}

}  // namespace
