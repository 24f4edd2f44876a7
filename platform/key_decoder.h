// Turns the bytes a terminal sends into the console's key codes: plain bytes pass through,
// function and cursor keys become two codes (0 or 224, then the key's extended code).
#pragma once

struct KeyDecoder {
  int state = 0;  // where in an escape sequence the decoder is
  int parameters[2] = {0, 0};
  int parameterCount = 0;
  bool unknownForm = false;  // a private marker, intermediate or extra parameter was seen
};

// The most codes one byte or one timeout can yield.
constexpr int kMaxDecodedKeys = 2;

// Feeds one byte (0..255); stores the finished codes in keys and returns how many.
int decodeKeyByte(KeyDecoder &decoder, int byte, int keys[kMaxDecodedKeys]);

// True after a lone Esc, when only a pause tells it from the start of a sequence.
bool keyDecoderAwaitsPause(const KeyDecoder &decoder);

// No byte followed within the pause: a lone Esc becomes 27; a cut-off sequence is dropped.
int decodeKeyPause(KeyDecoder &decoder, int keys[kMaxDecodedKeys]);
