/*
** win32_file.cpp - CreateFileA, SetFilePointer and DeleteFileA over POSIX.
**
** POSIX has no share modes, so the stand-in keeps a registry of the files its handles hold,
** keyed by (device, inode), with each open's access and share mode. The registry lock is
** held from the open to the registration (and the emptying of CREATE_ALWAYS), so a file
** held by another handle is never emptied by an opener that is then refused.
*/
#include "win32_file.h"

#include "win32_comm.h"
#include "win32_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

typedef std::pair<dev_t, ino_t> FileKey;  // identity of an open file

struct OpenEntry {
  uint64_t id;      // this open's number, to find it again when it closes
  DWORD dw_access;  // GENERIC_READ / GENERIC_WRITE bits it holds
  DWORD dw_share;   // FILE_SHARE_* bits it allows others
};

std::mutex g_registry_lock;                               // guards the two below
std::map<FileKey, std::vector<OpenEntry>> g_registry;     // files held by file handles
uint64_t g_next_id = 1;                                   // next OpenEntry::id

/* A file handle: a descriptor plus its place in the registry, left when it closes. */
class Win32File : public Win32FdObject {
public:
  Win32File(int fd, FileKey key, uint64_t id) : Win32FdObject(fd), key_(key), id_(id) {}
  ~Win32File() override {
    std::lock_guard<std::mutex> lock(g_registry_lock);
    auto it = g_registry.find(key_);
    if (it == g_registry.end()) return;
    std::erase_if(it->second, [this](const OpenEntry& e) { return e.id == id_; });
    if (it->second.empty()) g_registry.erase(it);
  }
  // A descriptor opened without the access refuses with EBADF; Win32 calls that a denial.
  BOOL read(void* p_buf, DWORD n, DWORD* p_n_read) override {
    return denied_if_bad(Win32FdObject::read(p_buf, n, p_n_read));
  }
  // A file that takes part of the bytes and then refuses the rest (a full disk, a size
  // limit) reports success with the count it took, as Windows does; the caller sees the
  // short count and offers only the rest again. Only a write that took nothing fails.
  BOOL write(const void* p_buf, DWORD n, DWORD* p_n_written) override {
    BOOL b_ok = denied_if_bad(Win32FdObject::write(p_buf, n, p_n_written));
    return b_ok || *p_n_written > 0;
  }

private:
  static BOOL denied_if_bad(BOOL b_ok) {
    if (!b_ok && GetLastError() == ERROR_INVALID_HANDLE) SetLastError(ERROR_ACCESS_DENIED);
    return b_ok;
  }
  FileKey key_;  // the file this handle holds
  uint64_t id_;  // its entry in the registry
};

HANDLE fail_open(int fd, DWORD dw_err) {
  if (fd >= 0) ::close(fd);
  SetLastError(dw_err);
  return INVALID_HANDLE_VALUE;
}

/* The name with backslashes turned into separators. */
std::string posix_path(LPCSTR p_name) {
  std::string s(p_name);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

/* Whether two opens may coexist: each one's access is allowed by the other's share mode. */
bool share_allows(DWORD dw_access, DWORD dw_share_other) {
  if ((dw_access & GENERIC_READ) && !(dw_share_other & FILE_SHARE_READ)) return false;
  if ((dw_access & GENERIC_WRITE) && !(dw_share_other & FILE_SHARE_WRITE)) return false;
  return true;
}

/* Under the registry lock: may a new open with this access and share join the holders? */
bool may_join(const FileKey& key, DWORD dw_access, DWORD dw_share) {
  auto it = g_registry.find(key);
  if (it == g_registry.end()) return true;
  for (const OpenEntry& e : it->second) {
    if (!share_allows(dw_access, e.dw_share) || !share_allows(e.dw_access, dw_share))
      return false;
  }
  return true;
}

int open_flags(DWORD dw_access, DWORD dw_creation) {
  int flags = O_CLOEXEC;
  bool b_read = dw_access & GENERIC_READ, b_write = dw_access & GENERIC_WRITE;
  flags |= b_write ? (b_read ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (dw_creation) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: return flags | O_CREAT;
    default: return flags;
  }
}

bool disposition_ok(DWORD dw_creation) {
  return dw_creation >= CREATE_NEW && dw_creation <= TRUNCATE_EXISTING;
}

/* Opens, checks and registers a plain file, all under the registry lock. */
HANDLE open_file(const std::string& path, DWORD dw_access, DWORD dw_share, DWORD dw_creation) {
  std::lock_guard<std::mutex> lock(g_registry_lock);
  struct stat st_before;
  bool b_existed = ::stat(path.c_str(), &st_before) == 0;
  int fd = ::open(path.c_str(), open_flags(dw_access, dw_creation), 0666);
  if (fd < 0) return fail_open(-1, win32_error_from_errno(errno));
  struct stat st;
  if (fstat(fd, &st) != 0) return fail_open(fd, win32_error_from_errno(errno));
  if (S_ISDIR(st.st_mode)) return fail_open(fd, ERROR_ACCESS_DENIED);
  FileKey key(st.st_dev, st.st_ino);
  if (!may_join(key, dw_access, dw_share)) return fail_open(fd, ERROR_SHARING_VIOLATION);
  bool b_empty = dw_creation == CREATE_ALWAYS || dw_creation == TRUNCATE_EXISTING;
  if (b_empty && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0)
    return fail_open(fd, win32_error_from_errno(errno));
  uint64_t id = g_next_id++;
  g_registry[key].push_back(OpenEntry{id, dw_access, dw_share});
  HANDLE h = win32_handle_add(std::make_shared<Win32File>(fd, key, id));
  bool b_told = dw_creation == CREATE_ALWAYS || dw_creation == OPEN_ALWAYS;
  SetLastError(b_told && b_existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

std::shared_ptr<Win32File> file_of(HANDLE h) {
  return std::dynamic_pointer_cast<Win32File>(win32_handle_get(h));
}

DWORD fail_seek(DWORD dw_err) {
  SetLastError(dw_err);
  return INVALID_SET_FILE_POINTER;
}

/* Position the move counts from, or -1 with errno. */
int64_t seek_base(int fd, DWORD dw_method) {
  if (dw_method == FILE_BEGIN) return 0;
  if (dw_method == FILE_CURRENT) return (int64_t)lseek(fd, 0, SEEK_CUR);
  struct stat st;
  return fstat(fd, &st) == 0 ? (int64_t)st.st_size : -1;
}

}  // namespace

HANDLE CreateFileA(LPCSTR p_name, DWORD dw_access, DWORD dw_share, LPVOID, DWORD dw_creation,
                   DWORD, HANDLE) {
  if (!p_name || !disposition_ok(dw_creation)) return fail_open(-1, ERROR_INVALID_PARAMETER);
  if (win32_comm_port_number(p_name) > 0) return win32_comm_open(p_name, dw_access);
  if (!*p_name) return fail_open(-1, ERROR_PATH_NOT_FOUND);
  return open_file(posix_path(p_name), dw_access, dw_share, dw_creation);
}

DWORD SetFilePointer(HANDLE h_file, LONG l_dist, PLONG p_dist_high, DWORD dw_method) {
  auto p_file = file_of(h_file);
  if (!p_file) return fail_seek(ERROR_INVALID_HANDLE);
  if (dw_method > FILE_END) return fail_seek(ERROR_INVALID_PARAMETER);
  int64_t dist = p_dist_high ? (int64_t)(((uint64_t)(uint32_t)*p_dist_high << 32) | (uint32_t)l_dist)
                             : (int64_t)l_dist;
  int64_t base = seek_base(p_file->fd(), dw_method);
  if (base < 0) return fail_seek(win32_error_from_errno(errno));
  int64_t pos = base + dist;
  if (pos < 0) return fail_seek(ERROR_NEGATIVE_SEEK);
  if (!p_dist_high && pos > (int64_t)0xFFFFFFFEu) return fail_seek(ERROR_INVALID_PARAMETER);
  if (lseek(p_file->fd(), (off_t)pos, SEEK_SET) < 0) return fail_seek(win32_error_from_errno(errno));
  if (p_dist_high) *p_dist_high = (LONG)(pos >> 32);
  SetLastError(ERROR_SUCCESS);
  return (DWORD)pos;
}

BOOL DeleteFileA(LPCSTR p_name) {
  if (!p_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = posix_path(p_name);
  std::lock_guard<std::mutex> lock(g_registry_lock);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && g_registry.count(FileKey(st.st_dev, st.st_ino))) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (::unlink(path.c_str()) != 0) {
    SetLastError(win32_error_from_errno(errno));
    return FALSE;
  }
  return TRUE;
}
