#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "platform/platform.h"
#include "update/journal.h"

namespace fs = boost::filesystem;

namespace {
// A record is its length and checksum (four bytes each, least significant first), then its
// change's letter and its fields, each ended by a NUL, the one byte no path holds.
const std::string kMagic("launcher journal 2", sizeof "launcher journal 2");
constexpr std::size_t kHeader = 8;
// Far beyond three paths: anything longer is no record.
constexpr std::uint32_t kLongestRecord = 1 << 16;
// Earlier launchers kept a link under a letter of its own, undone as a kept file is.
constexpr char kKeptLinkLetter = 'L';

// Four tables, to take four bytes a step: every entry of an update writes a record.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 4>;
constexpr CrcTables crcTables() {
  CrcTables tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (std::uint32_t n = 0; n < 256; ++n) {
    for (int t = 1; t < 4; ++t) {
      tables[t][n] = tables[0][tables[t - 1][n] & 0xff] ^ (tables[t - 1][n] >> 8);
    }
  }
  return tables;
}

// CRC-32, as zip and PNG have it.
std::uint32_t checksum(const char* data, std::size_t size) {
  static constexpr auto kTables = crcTables();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  std::uint32_t crc = 0xffffffffu;
  for (; size >= 4; size -= 4, bytes += 4) {
    crc ^= bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    crc = kTables[3][crc & 0xff] ^ kTables[2][(crc >> 8) & 0xff] ^ kTables[1][(crc >> 16) & 0xff] ^
          kTables[0][crc >> 24];
  }
  for (; size > 0; --size) crc = kTables[0][(crc ^ *bytes++) & 0xff] ^ (crc >> 8);
  return crc ^ 0xffffffffu;
}

void putNumber(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint32_t numberAt(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The fields a record of its kind holds, in the order they are written (up to `count`); none
// for a kind that is none of the journal's.
template <typename Field>
struct Fields {
  std::array<Field, 3> field;
  std::size_t count;
  bool known;
};

template <typename Record, typename Field = decltype(&std::declval<Record&>().path)>
Fields<Field> fieldsOf(Record& record) {
  switch (record.change) {
    case Change::complete:
      return {{}, 0, true};
    case Change::rollbackFolder:
    case Change::privateFolder:
    case Change::folderMade:
      return {{&record.path}, 1, true};
    case Change::added:
      return {{&record.path, &record.temporary}, 2, true};
    case Change::respelled:
      return {{&record.path, &record.kept}, 2, true};
    case Change::keptFile:
    case Change::keptFolder:
      return {{&record.path, &record.kept, &record.temporary}, 3, true};
  }
  return {{}, 0, false};
}

std::string encodeRecord(const JournalRecord& record) {
  const auto fields = fieldsOf(record);
  std::size_t size = 1;
  for (std::size_t i = 0; i < fields.count; ++i) size += fields.field[i]->size() + 1;
  std::string out;
  out.reserve(kHeader + size);
  out.append(kHeader, '\0');
  out += static_cast<char>(record.change);
  for (std::size_t i = 0; i < fields.count; ++i) {
    out += *fields.field[i];
    out += '\0';
  }
  putNumber(out, 0, static_cast<std::uint32_t>(size));
  putNumber(out, 4, checksum(out.data() + kHeader, size));
  return out;
}

// The record whose body is `body`, when it is one.
std::optional<JournalRecord> decodeBody(const std::string& body) {
  const auto change = body[0] == kKeptLinkLetter ? Change::keptFile : static_cast<Change>(body[0]);
  JournalRecord record{change, {}, {}, {}};
  const auto fields = fieldsOf(record);
  if (!fields.known) return std::nullopt;
  std::size_t at = 1;
  for (std::size_t i = 0; i < fields.count; ++i) {
    const auto end = body.find('\0', at);
    if (end == std::string::npos) return std::nullopt;
    fields.field[i]->assign(body, at, end - at);
    at = end + 1;
  }
  if (at != body.size()) return std::nullopt;
  return record;
}

// Moves a journal that cannot be read out of the way, once: what its run did cannot be known,
// and the next run needs the name. Never stops the start.
void setAside(const fs::path& appFolder, const Folder& root, int error) {
  const auto why = error == ELOOP ? "a symbolic link"
                   : error        ? std::strerror(error)
                                  : "of another format";
  std::string name;
  struct stat taken;
  do {
    name = kJournalName + "." + fs::unique_path("%%%%%%%%").string();
  } while (::fstatat(root.handle.fd, name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0);
  const bool moved =
      ::renameat(root.handle.fd, kJournalName.c_str(), root.handle.fd, name.c_str()) == 0;
  std::cout << "unreadable update journal " << (appFolder / kJournalName).string() << " (" << why
            << ")" << (moved ? " set aside as " + (appFolder / name).string() : " left as it is")
            << std::endl;
}
}  // namespace

std::string encodeRecords(const std::vector<JournalRecord>& records) {
  auto out = kMagic;
  for (const auto& record : records) out += encodeRecord(record);
  return out;
}

std::optional<std::vector<JournalRecord>> decodeRecords(const std::string& bytes) {
  std::vector<JournalRecord> records;
  if (bytes.compare(0, kMagic.size(), kMagic) != 0) {
    // Killed before its first write was whole: nothing was changed yet.
    if (kMagic.compare(0, bytes.size(), bytes) == 0) return records;
    return std::nullopt;
  }
  for (std::size_t at = kMagic.size(); bytes.size() - at >= kHeader;) {
    const auto size = numberAt(bytes, at);
    if (size == 0 || size > kLongestRecord || size > bytes.size() - at - kHeader) break;
    const auto body = bytes.substr(at + kHeader, size);
    if (numberAt(bytes, at + 4) != checksum(body.data(), body.size())) break;
    auto record = decodeBody(body);
    if (!record) break;
    records.push_back(std::move(*record));
    at += kHeader + size;
  }
  // What follows the last record that checks was never whole: its change was never made.
  return records;
}

Journal startJournal(const fs::path& appFolder, const Folder& root) {
  Journal journal{
      Descriptor(::openat(root.handle.fd, kJournalName.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600)),
      appFolder / kJournalName,
      {}};
  if (journal.file.fd < 0) throwSystemError("cannot start the update journal", journal.shown);
  if (!writeAll(journal.file.fd, kMagic.data(), kMagic.size())) {
    const int error = errno;
    ::unlinkat(root.handle.fd, kJournalName.c_str(), 0);
    throwSystemError("cannot write the update journal", journal.shown, error);
  }
  return journal;
}

void record(Journal& journal, JournalRecord record) {
  // No sync here: the run orders its records and changes phase by phase.
  const auto bytes = encodeRecord(record);
  if (!writeAll(journal.file.fd, bytes.data(), bytes.size())) {
    throwSystemError("cannot write the update journal", journal.shown);
  }
  journal.records.push_back(std::move(record));
}

bool journalLeft(const fs::path& appFolder) {
  struct stat status;
  return ::lstat((appFolder / kJournalName).c_str(), &status) == 0 || errno != ENOENT;
}

std::optional<std::vector<JournalRecord>> readJournal(const fs::path& appFolder,
                                                      const Folder& root) {
  Descriptor file(::openat(root.handle.fd, kJournalName.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0 && errno == ENOENT) return std::nullopt;
  struct stat status;
  std::string bytes;
  std::optional<std::vector<JournalRecord>> records;
  if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
    setAside(appFolder, root, errno);
  } else if (!S_ISREG(status.st_mode)) {
    setAside(appFolder, root, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
  } else if (!readAll(file.fd, bytes)) {
    setAside(appFolder, root, errno);
  } else if (!(records = decodeRecords(bytes))) {
    setAside(appFolder, root, 0);
  }
  return records;
}

void removeJournal(const Folder& root) { ::unlinkat(root.handle.fd, kJournalName.c_str(), 0); }
