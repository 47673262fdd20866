#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvella::zpl {

// One GS1 element string: its application identifier (empty for data that
// has none) and its data.
struct Gs1Field {
  std::string ai;
  std::string value;
};

// Reads GS1 data as ^BC mode D does: "(AI)value" pairs, or AIs one after
// another with the lengths GS1 fixes and ">8" (or GS) after those of
// variable length; spaces and parentheses are only for the eye. The check
// digit of an SSCC (00) or GTIN (01, 02) given without it is added.
std::vector<Gs1Field> ReadGs1Fields(const std::string& data);

// The length of the data of application identifiers whose length is fixed
// by their first two digits `two` (no FNC1 needed after them); 0 for the
// others.
size_t Gs1FixedDataLength(int two, size_t ai_length);

// The GS1 mod 10 check digit of a string of digits (other characters are
// passed over).
char Gs1CheckDigit(const std::string& digits);

}  // namespace corvella::zpl
