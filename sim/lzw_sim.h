// The simulator's LZW compressor for the replies the client expands: fixed
// 12-bit codes packed most significant bit first, single bytes 0 to 255,
// dictionary entries from 256 up to 4094 (then no more are made and the
// dictionary stays as it is), and the stream closed by the code 4095 and a
// code 0, of which only whole bytes are written.
#pragma once

#include <string>

// The compressed form of `datos`.
std::string comprime_lzw_sim(const std::string& datos);
