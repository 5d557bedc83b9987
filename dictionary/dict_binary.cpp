// BRXStringDict: the binary dictionary file.
//
// Layout, all numbers 32-bit unsigned little-endian:
//   0          format number, 1
//   4          N, the number of entries
//   8          N records of six fields: source, target and remark offsets
//              (from the start of the text block), then their lengths
//   8 + 24*N   the text block: every text, zero-terminated
// The entries are stored in lookup order, so loading needs no parsing and no
// sorting: the whole file becomes the text store and the records' offsets
// become pointers into it.
#include <cstring>
#include <memory>
#include <new>

#include "common/bytes.h"
#include "dictionary/brx_string_dict.h"

namespace {

constexpr uint32_t kFormatNumber = 1;
constexpr uint64_t kHeaderSize = 8;
constexpr uint64_t kRecordSize = 24;

}  // namespace

uint32_t BRXStringDict::LoadFromBINFileA(const char* name) {
  loadFailure[0] = '\0';
  char formed[kPathCapacity];
  if (!FormPath(name, formed)) return 0;
  memcpy(path, formed, sizeof path);
  Clear();  // from here on a failure leaves the dictionary empty

  int64_t size = ReadFileBlock(path, nullptr, 0, 0);
  if (size < int64_t(kHeaderSize) || size > kMaxFileSize) return 0;
  const uint64_t fileSize = static_cast<uint64_t>(size);
  std::unique_ptr<char[]> store(new (std::nothrow) char[fileSize + 4]());
  if (store == nullptr) return 0;
  if (ReadFileBlock(path, store.get(), 0, static_cast<uint32_t>(fileSize)) != size) return 0;
  return AdoptBinaryStore(std::move(store), static_cast<uint32_t>(fileSize));
}

uint32_t BRXStringDict::LoadFromBINImage(const char* data, uint32_t size) {
  loadFailure[0] = '\0';
  path[0] = '\0';
  Clear();
  if (data == nullptr || size < kHeaderSize || size > kMaxFileSize) return 0;
  std::unique_ptr<char[]> store(new (std::nothrow) char[uint64_t(size) + 4]());
  if (store == nullptr) return 0;
  memcpy(store.get(), data, size);
  return AdoptBinaryStore(std::move(store), size);
}

uint32_t BRXStringDict::AdoptBinaryStore(std::unique_ptr<char[]> store, uint32_t size) {
  const uint64_t fileSize = size;
  const auto* file = reinterpret_cast<const uint8_t*>(store.get());
  if (bytes::LoadU32LE(file) != kFormatNumber) return 0;
  const uint32_t n = bytes::LoadU32LE(file + 4);
  if (!bytes::InBounds(kHeaderSize, kRecordSize * n, fileSize)) return 0;
  const uint64_t blockStart = kHeaderSize + kRecordSize * n;
  const uint64_t blockSize = fileSize - blockStart;
  char* block = store.get() + blockStart;

  std::unique_ptr<BRXStringEntry[]> records(new (std::nothrow) BRXStringEntry[n]());
  if (records == nullptr) return 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* record = file + kHeaderSize + kRecordSize * i;
    char* texts[3];
    uint32_t lengths[3];
    for (int f = 0; f < 3; ++f) {
      uint32_t offset = bytes::LoadU32LE(record + 4 * f);
      uint32_t length = bytes::LoadU32LE(record + 12 + 4 * f);
      // Each text lies inside the text block and ends where its length says:
      // no zero among its bytes, then a zero or the end of the block (the
      // store's zero bytes follow it). A length that disagrees with the text
      // would make lookups and copies of it disagree.
      if (!bytes::InBounds(offset, length, blockSize)) return 0;
      if (uint64_t(offset) + length < blockSize && block[offset + length] != '\0') return 0;
      if (memchr(block + offset, '\0', length) != nullptr) return 0;
      texts[f] = block + offset;
      lengths[f] = length;
    }
    records[i] = {texts[0], texts[1], texts[2], lengths[0], lengths[1], lengths[2]};
  }

  textStore = store.release();
  entries = records.release();
  textSize = size;
  // Added texts go one byte past the file, so that the zero ending a text
  // that ends the block stays in place.
  textCapacity = textUsed = textSize + 1;
  count = entryCapacity = n;
  return n;
}

bool BRXStringDict::SaveToBINImage(std::string* image) const {
  uint64_t blockSize = 0;
  for (uint32_t i = 0; i < count; ++i)
    blockSize += uint64_t(entries[i].sourceLength) + entries[i].targetLength +
                 entries[i].remarkLength + 3;
  const uint64_t size = kHeaderSize + kRecordSize * count + blockSize;
  if (size > kMaxFileSize) return false;  // the loader would refuse it

  try {
    image->assign(size, '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto* out = reinterpret_cast<uint8_t*>(image->data());
  bytes::StoreU32LE(out, kFormatNumber);
  bytes::StoreU32LE(out + 4, count);
  uint8_t* block = out + kHeaderSize + kRecordSize * count;
  uint32_t offset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const BRXStringEntry& e = entries[i];
    uint8_t* record = out + kHeaderSize + kRecordSize * i;
    const char* texts[3] = {e.source, e.target, e.remark};
    const uint32_t lengths[3] = {e.sourceLength, e.targetLength, e.remarkLength};
    for (int f = 0; f < 3; ++f) {
      bytes::StoreU32LE(record + 4 * f, offset);
      bytes::StoreU32LE(record + 12 + 4 * f, lengths[f]);
      if (lengths[f] > 0) memcpy(block + offset, texts[f], lengths[f]);
      block[offset + lengths[f]] = 0;
      offset += lengths[f] + 1;
    }
  }
  return true;
}

int64_t BRXStringDict::SaveToBINFileA(const char* file) const {
  if (file == nullptr) return -1;
  std::string image;
  if (!SaveToBINImage(&image)) return -1;
  const uint32_t size = static_cast<uint32_t>(image.size());
  int64_t written = WriteFileBlock(file, image.data(), 0, size, platform::kCreateAlways);
  return written == int64_t(size) ? written : -1;
}
