#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "locations/app_folder.h"
#include "platform/platform.h"
#include "update/journal.h"

namespace fs = boost::filesystem;

namespace {
// Every field ends in a NUL, the one byte no path holds: names may hold line feeds and any
// other byte. A record is its change's letter, then its fields.
const std::string kMagic("launcher journal 1", sizeof "launcher journal 1");

// The fields a record of its kind holds, in the order they are written; nothing for a kind
// that is none of the journal's.
template <typename Record, typename Field = decltype(&std::declval<Record&>().path)>
std::optional<std::vector<Field>> fieldsOf(Record& record) {
  switch (record.change) {
    case Change::complete:
      return std::vector<Field>{};
    case Change::rollbackFolder:
    case Change::privateFolder:
    case Change::folderMade:
      return std::vector<Field>{&record.path};
    case Change::added:
      return std::vector<Field>{&record.path, &record.temporary};
    case Change::keptFile:
    case Change::keptLink:
    case Change::keptFolder:
      return std::vector<Field>{&record.path, &record.kept, &record.temporary};
  }
  return std::nullopt;
}

void appendField(std::string& out, const fs::path& path, const fs::path& appFolder) {
  const auto& text = path.native();
  const auto& base = appFolder.native();
  const bool inside = text.size() > base.size() && text.compare(0, base.size(), base) == 0 &&
                      text[base.size()] == '/';
  out += inside ? text.substr(base.size() + 1) : text;
  out += '\0';
}

fs::path pathOf(const std::string& field, const fs::path& appFolder) {
  return field.empty() || field.front() == '/' ? fs::path(field) : appFolder / field;
}

std::string encodeRecord(const JournalRecord& record, const fs::path& appFolder) {
  std::string out(1, static_cast<char>(record.change));
  const auto fields = fieldsOf(record);
  for (const auto* field : *fields) appendField(out, *field, appFolder);
  return out;
}

[[noreturn]] void unreadable(const fs::path& appFolder) {
  throw std::runtime_error("Unreadable update journal " + (appFolder / kJournalName).string());
}
}  // namespace

std::string encodeRecords(const std::vector<JournalRecord>& records, const fs::path& appFolder) {
  auto out = kMagic;
  for (const auto& record : records) out += encodeRecord(record, appFolder);
  return out;
}

std::vector<JournalRecord> decodeRecords(const std::string& bytes, const fs::path& appFolder) {
  std::vector<JournalRecord> records;
  if (bytes.compare(0, kMagic.size(), kMagic) != 0) {
    // Killed before its first write was whole: nothing was changed yet.
    if (kMagic.compare(0, bytes.size(), bytes) == 0) return records;
    unreadable(appFolder);
  }
  for (std::size_t at = kMagic.size(); at < bytes.size();) {
    JournalRecord record{static_cast<Change>(bytes[at++]), {}, {}, {}};
    const auto fields = fieldsOf(record);
    if (!fields) unreadable(appFolder);
    for (auto* field : *fields) {
      const auto end = bytes.find('\0', at);
      // The last record of a run killed while writing it: its change was never made.
      if (end == std::string::npos) return records;
      *field = pathOf(bytes.substr(at, end - at), appFolder);
      at = end + 1;
    }
    records.push_back(record);
  }
  return records;
}

Journal startJournal(const fs::path& appFolder) {
  const auto file = appFolder / kJournalName;
  const int fd =
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throwSystemError("cannot start the update journal", file);
  Journal journal{appFolder, fd, {}};
  if (::write(fd, kMagic.data(), kMagic.size()) != static_cast<ssize_t>(kMagic.size())) {
    const int error = errno;
    ::close(fd);
    ::unlink(file.c_str());
    throwSystemError("cannot write the update journal", file, error);
  }
  return journal;
}

void record(Journal& journal, const JournalRecord& record) {
  // No sync: this guards against the process dying, not the machine.
  const auto bytes = encodeRecord(record, journal.appFolder);
  for (std::size_t done = 0; done < bytes.size();) {
    const auto written = ::write(journal.fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      throwSystemError("cannot write the update journal", journal.appFolder / kJournalName);
    }
    done += static_cast<std::size_t>(written);
  }
  journal.records.push_back(record);
}

void closeJournal(Journal& journal) {
  if (journal.fd >= 0) ::close(journal.fd);
  journal.fd = -1;
}

std::optional<std::vector<JournalRecord>> readJournal(const fs::path& appFolder) {
  const auto file = appFolder / kJournalName;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return std::nullopt;
  if (fd < 0) throwSystemError("cannot read the update journal", file);
  std::string bytes;
  struct stat status;
  int error = ::fstat(fd, &status) != 0 ? errno : S_ISREG(status.st_mode) ? 0 : EINVAL;
  for (char buffer[1 << 16]; error == 0;) {
    const auto got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got > 0) bytes.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) error = errno;
  }
  ::close(fd);
  if (error != 0) throwSystemError("cannot read the update journal", file, error);
  return decodeRecords(bytes, appFolder);
}
