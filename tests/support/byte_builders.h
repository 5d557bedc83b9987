// Little-endian pieces of package files and export bodies, for tests, tools
// and benchmarks (never linked into hanhua): words, strings in both forms
// and DialogueText property tags, put together with Cat.
//
// A string is a signed length word and its text: L > 0 gives L bytes of
// 8-bit text with its zero byte, L < 0 gives -L UTF-16LE units with their
// zero unit. A DialogueText property is a 16-byte tag (name index, name
// number, value size, a zero word) followed by a string count and the
// strings.
//
//   Bytes body = Cat({Text("head"), DialogueTag(dt, {Str8("Hello"), StrWide(u"World")})});
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace fixtures {

// A little-endian 32-bit word.
Bytes Word32(uint32_t value);
// Little-endian words in a byte vector; the vector grows when PutU32 writes
// past its end. GetU32 gives 0 for bytes beyond the end.
void PutU32(Bytes& bytes, uint64_t offset, uint32_t value);
uint32_t GetU32(const Bytes& bytes, uint64_t offset);
// more, added at the end of out.
void Append(Bytes& out, const Bytes& more);
// The parts one after another.
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Cat(const std::vector<Bytes>& parts);
// The bytes of s, without a terminator.
Bytes Text(const std::string& s);
// An 8-bit string: length word (terminator counted), text, zero byte.
Bytes Str8(const std::string& s);
// A UTF-16 string: length word -(units + 1), the units, a zero unit.
Bytes StrWide(const std::u16string& s);
// A tag naming name index `name` (with name number nameNumber) and its
// string array, with the value size that counts the array.
Bytes DialogueTag(uint32_t name, const std::vector<Bytes>& strings, uint32_t nameNumber = 0);

}  // namespace fixtures
