#pragma once
// Free helpers shared by every subsystem: number to text, orientation names, the
// numeric-text test, point conversions between index, Hz, ppm and ms, exact binary
// reads and zero-terminated texts, token splitting, folder parts and VAX floats.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/TFile.h"

// The value rounded to `decimals` fractional digits, trailing zeros and a trailing
// point dropped, no 0 before the point (0.25, 2 -> ".25"; 0 -> "0"). Locale-free.
std::string FloatToString(float value, int decimals);
// The value with `digits` significant digits, fixed or exponent notation.
std::string FloatToStringG(float value, int digits);
// 0 "Sagittal", 1 "Coronal", 2 "Axial", anything else "Unknown".
std::string OrientationName(int orientation);
// True for a decimal number or a prefix of one ("-", ".", "12.5"); false for "+1", "1e5".
bool IsNumber(const std::string& text);

// Point index <-> Hz, ppm and ms. bandwidth: spectral width in Hz; frequency: MHz;
// ref: point index of 0 ppm; N: points of the spectrum.
double IndexToHz(float i, float bandwidth, int N);
double HzToIndex(float hz, float bandwidth, int N);
double IndexToPPM(float i, float bandwidth, float frequency, float ref, int N);
double PPMToIndex(float ppm, float bandwidth, float frequency, float ref, int N);
double IndexToMs(float i, float bandwidth);
double MsToIndex(float ms, float bandwidth);

// One read of n bytes; true only when exactly n bytes were read.
bool ReadExact(vx::TFile& file, void* buffer, size_t n);
// Every non-zero byte of the text, then one zero byte. False when a write failed.
bool WriteCString(vx::TFile& file, const std::string& text);
// Bytes up to a zero byte or the end of the file (at most kMaxCStringLength bytes).
std::string ReadCString(vx::TFile& file);
// The same; true only when the text ended in its zero byte.
bool ReadCString(vx::TFile& file, std::string& text);
constexpr size_t kMaxCStringLength = 64 * 1024;

// Tokens separated by spaces and tabs; no empty tokens. Empty text: no tokens.
std::vector<std::string> TokenizeString(const std::string& text);
// Tokens separated by any character of `delimiters`; the list is cleared first.
void SplitString(const std::string& text, std::vector<std::string>& tokens, const std::string& delimiters);
// The part before the last "\" or "/"; else before the last ":"; else the whole path.
std::string GetFolderPart(const std::string& path);
// Converts 32-bit VAX F words in place; returns the bytes converted.
int VaxToIEEEFloats(void* buffer, int byteCount);
