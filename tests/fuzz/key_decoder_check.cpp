// The key decoder's check: every code it yields against the ECMA-48 escape-sequence grammar.
#include <vector>

#include "platform/key_decoder.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

// Where the grammar is; the decoder must agree on when a pause matters.
enum Grammar { kGround, kEscape, kCsiStart, kSequence, kLinuxFunction };

constexpr int kEsc = 27;

std::string describe(const std::vector<int> &codes) {
  std::string text = "{";
  for (int code : codes) {
    if (text.size() > 1) text += ',';
    text += std::to_string(code);
  }
  return text + "}";
}

// What a byte yields from the ground state: itself, or nothing when it starts a sequence.
std::vector<int> groundByte(Grammar &grammar, int byte) {
  if (byte == kEsc) {
    grammar = kEscape;
    return {};
  }
  return {byte};
}

// A finished sequence yields nothing (not one of our keys) or one key as prefix and extended
// code; the extended codes of the key table all lie in 59..163, so no digit or letter of the
// sequence can pass as a key.
bool isKeyPair(const std::vector<int> &codes) {
  if (codes.empty()) return true;
  return codes.size() == 2 && (codes[0] == 0 || codes[0] == 224) && codes[1] >= 59 &&
         codes[1] <= 163;
}

}  // namespace

std::string checkKeyInput(const std::uint8_t *data, std::size_t size) {
  KeyDecoder decoder;
  Grammar grammar = kGround;
  // Exactly the room the interface promises, so that a longer write is caught.
  int keys[kMaxDecodedKeys];

  const auto take = [&](int count, std::vector<int> &codes) -> bool {
    if (count < 0 || count > kMaxDecodedKeys) return false;
    codes.assign(keys, keys + count);
    return true;
  };

  for (std::size_t i = 0; i < size; ++i) {
    const auto where = [i] { return " at input byte " + std::to_string(i); };
    if (keyDecoderAwaitsPause(decoder) != (grammar == kEscape)) {
      return "awaits a pause out of turn" + where();
    }
    // Even bytes say how the next byte comes in time: bit 0 a pause when the terminal would
    // wait for one (after a lone Esc), bit 1 a pause however the decoder stands.
    const int timing = data[i];
    const bool pause = (timing & 2) || ((timing & 1) && grammar == kEscape);
    if (pause) {
      std::vector<int> codes;
      if (!take(decodeKeyPause(decoder, keys), codes))
        return "too many codes from a pause" + where();
      const std::vector<int> expected =
          grammar == kEscape ? std::vector<int>{kEsc} : std::vector<int>{};
      grammar = kGround;
      if (codes != expected) return "a pause yielded " + describe(codes) + where();
    }
    if (++i == size) break;
    const int byte = data[i];

    std::vector<int> codes;
    if (!take(decodeKeyByte(decoder, byte, keys), codes)) return "too many codes" + where();
    std::vector<int> expected;
    bool anyKey = false;  // a finished sequence: nothing or one key pair
    switch (grammar) {
      case kGround:
        expected = groundByte(grammar, byte);
        break;
      case kEscape:
        if (byte == '[') {
          grammar = kCsiStart;
        } else if (byte == 'O') {
          grammar = kSequence;
        } else {
          grammar = kGround;
          expected = {kEsc};
          const std::vector<int> after = groundByte(grammar, byte);
          expected.insert(expected.end(), after.begin(), after.end());
        }
        break;
      case kCsiStart:
      case kSequence:
        if (grammar == kCsiStart && byte == '[') {
          grammar = kLinuxFunction;
        } else if (byte >= 0x20 && byte <= 0x3F) {
          grammar = kSequence;
        } else if (byte >= 0x40 && byte <= 0x7E) {
          grammar = kGround;
          anyKey = true;
        } else {
          grammar = kGround;  // a byte outside the grammar cuts the sequence and is itself
          expected = groundByte(grammar, byte);
        }
        break;
      case kLinuxFunction:
        if (byte >= 'A' && byte <= 'E') {
          expected = {0, 59 + byte - 'A'};
          grammar = kGround;
        } else if (byte >= 0x40 && byte <= 0x7E) {
          grammar = kGround;
        } else {
          grammar = kGround;
          expected = groundByte(grammar, byte);
        }
        break;
    }
    if (anyKey ? !isKeyPair(codes) : codes != expected) {
      return "byte " + std::to_string(byte) + " yielded " + describe(codes) + where();
    }
  }
  // The terminal waits out a lone Esc at the end of what was typed.
  if (keyDecoderAwaitsPause(decoder) != (grammar == kEscape)) return "awaits a pause at the end";
  if (grammar == kEscape) {
    std::vector<int> codes;
    if (!take(decodeKeyPause(decoder, keys), codes) || codes != std::vector<int>{kEsc}) {
      return "a final lone Esc yielded " + describe(codes);
    }
  }
  return "";
}
