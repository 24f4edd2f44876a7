// Decoding of xterm-style and Linux-console key sequences into the console's two-code form.
#include "platform/key_decoder.h"

namespace {

enum State { kGround, kEscape, kCsi, kSs3, kLinuxFunction };

constexpr int kPrefixZero = 0;
constexpr int kPrefixExtended = 224;

enum Key { kUp, kDown, kLeft, kRight, kHome, kEnd, kPageUp, kPageDown, kInsert, kDelete, kF1 };

struct KeyCodes {
  int plain, shift, ctrl, alt;
};

// Extended codes per key and modifier. Cursor keys carry prefix 224 except with Alt (prefix 0);
// F1-F10 carry prefix 0; F11 and F12 carry 224.
constexpr KeyCodes kCursorCodes[] = {
    {72, 72, 141, 152}, {80, 80, 145, 160}, {75, 75, 115, 155}, {77, 77, 116, 157},
    {71, 71, 119, 151}, {79, 79, 117, 159}, {73, 73, 134, 153}, {81, 81, 118, 161},
    {82, 82, 146, 162}, {83, 83, 147, 163},
};

// key: a Key below kF1, or kF1 + n for function key n + 1 (0..11).
// modifier: xterm's parameter, 1 + (shift 1 | alt 2 | ctrl 4).
int emitKey(int key, int modifier, int keys[kMaxDecodedKeys]) {
  const int bits = modifier > 1 ? modifier - 1 : 0;
  const bool shift = bits & 1, alt = bits & 2, ctrl = bits & 4;
  int prefix;
  int code;
  if (key < kF1) {
    const KeyCodes &codes = kCursorCodes[key];
    prefix = alt ? kPrefixZero : kPrefixExtended;
    code = alt ? codes.alt : ctrl ? codes.ctrl : shift ? codes.shift : codes.plain;
  } else if (key - kF1 < 10) {
    const int n = key - kF1;
    prefix = kPrefixZero;
    code = (alt ? 104 : ctrl ? 94 : shift ? 84 : 59) + n;
  } else {
    const int n = key - kF1 - 10;
    prefix = kPrefixExtended;
    code = (alt ? 139 : ctrl ? 137 : shift ? 135 : 133) + n;
  }
  keys[0] = prefix;
  keys[1] = code;
  return 2;
}

// Keys named by the final letter of CSI or SS3 sequences; -1 for none.
int keyForLetter(int letter) {
  switch (letter) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
      return kF1;
    case 'Q':
      return kF1 + 1;
    case 'R':
      return kF1 + 2;
    case 'S':
      return kF1 + 3;
    default:
      return -1;
  }
}

// Keys named by the number of CSI n ~ sequences; -1 for none.
int keyForNumber(int number) {
  switch (number) {
    case 1:
    case 7:
      return kHome;
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 4:
    case 8:
      return kEnd;
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return kF1 + number - 11;
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return kF1 + number - 12;
    case 23:
    case 24:
      return kF1 + number - 13;
    default:
      return -1;
  }
}

void startSequence(KeyDecoder &decoder, int state) {
  decoder.state = state;
  decoder.parameters[0] = decoder.parameters[1] = 0;
  decoder.parameterCount = 0;
  decoder.unknownForm = false;
}

// Collects a parameter byte (0x30-0x3F) of a CSI or SS3 sequence.
void addParameterByte(KeyDecoder &decoder, int byte) {
  if (byte >= '0' && byte <= '9') {
    if (decoder.parameterCount == 0) decoder.parameterCount = 1;
    if (decoder.parameterCount > 2) return;
    int &value = decoder.parameters[decoder.parameterCount - 1];
    if (value < 10000) value = value * 10 + (byte - '0');
  } else if (byte == ';') {
    if (decoder.parameterCount == 0) decoder.parameterCount = 1;
    if (++decoder.parameterCount > 2) decoder.unknownForm = true;
  } else {
    decoder.unknownForm = true;  // private markers < = > ? and ':' sub-parameters
  }
}

int finishSequence(KeyDecoder &decoder, int final, int keys[kMaxDecodedKeys]) {
  const int state = decoder.state;
  decoder.state = kGround;
  if (decoder.unknownForm) return 0;
  const int modifier = decoder.parameterCount >= 2 ? decoder.parameters[1] : 1;
  int key = -1;
  if (final == '~' && state == kCsi) {
    key = keyForNumber(decoder.parameters[0]);
  } else if (state == kSs3) {
    // SS3 forms may carry the modifier alone, as in ESC O 5 P.
    key = keyForLetter(final);
    if (key >= 0 && decoder.parameterCount == 1) return emitKey(key, decoder.parameters[0], keys);
  } else if (decoder.parameterCount == 0 || decoder.parameters[0] == 1) {
    key = keyForLetter(final);
  }
  if (key < 0 || modifier < 1 || modifier > 16) return 0;
  return emitKey(key, modifier, keys);
}

}  // namespace

int decodeKeyByte(KeyDecoder &decoder, int byte, int keys[kMaxDecodedKeys]) {
  switch (decoder.state) {
    case kEscape:
      if (byte == '[') {
        startSequence(decoder, kCsi);
        return 0;
      }
      if (byte == 'O') {
        startSequence(decoder, kSs3);
        return 0;
      }
      // Esc followed by anything else is a lone Esc, then that byte on its own.
      decoder.state = kGround;
      keys[0] = 27;
      return 1 + decodeKeyByte(decoder, byte, keys + 1);
    case kCsi:
    case kSs3:
      if (byte == '[' && decoder.state == kCsi && decoder.parameterCount == 0 &&
          !decoder.unknownForm) {
        decoder.state = kLinuxFunction;  // the Linux console's F1-F5: ESC [ [ A..E
        return 0;
      }
      if (byte >= 0x30 && byte <= 0x3F) {
        addParameterByte(decoder, byte);
        return 0;
      }
      if (byte >= 0x20 && byte <= 0x2F) {
        decoder.unknownForm = true;  // intermediate bytes: no key of ours
        return 0;
      }
      if (byte >= 0x40 && byte <= 0x7E) return finishSequence(decoder, byte, keys);
      // Any other byte cuts the sequence short and counts as itself.
      decoder.state = kGround;
      return decodeKeyByte(decoder, byte, keys);
    case kLinuxFunction:
      decoder.state = kGround;
      if (byte >= 'A' && byte <= 'E') return emitKey(kF1 + byte - 'A', 1, keys);
      if (byte >= 0x40 && byte <= 0x7E) return 0;
      return decodeKeyByte(decoder, byte, keys);
    default:
      if (byte == 27) {
        decoder.state = kEscape;
        return 0;
      }
      keys[0] = byte & 0xFF;
      return 1;
  }
}

bool keyDecoderAwaitsPause(const KeyDecoder &decoder) {
  return decoder.state == kEscape;
}

int decodeKeyPause(KeyDecoder &decoder, int keys[kMaxDecodedKeys]) {
  const bool loneEscape = decoder.state == kEscape;
  decoder.state = kGround;
  if (!loneEscape) return 0;
  keys[0] = 27;
  return 1;
}
