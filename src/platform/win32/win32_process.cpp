/*
** win32_process.cpp - GetCommandLineA and GetFullPathNameA over Linux. The command line is
** put together once from /proc/self/exe and /proc/self/cmdline: the running program file
** comes first, so the program directory is found wherever the program was started from
** (through PATH, through a symbolic link, from another directory). Full paths are made by
** text alone, as Windows makes them: nothing is looked up on the disk.
*/
#include "win32_process.h"

#include "win32_handle.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::mutex g_lock;           // guards the two strings below
std::string g_cmd_line;      // what GetCommandLineA hands out
bool g_is_made = false;      // g_cmd_line holds the process's line or the seam's text

bool is_sep(char c) { return c == '/' || c == '\\'; }

/* A token as Windows writes it: in double quotes when it holds a blank. */
std::string quoted(const std::string& s) {
  if (s.find(' ') == std::string::npos && !s.empty()) return s;
  return "\"" + s + "\"";
}

/* The arguments of the process, argv[0] first; empty when /proc cannot be read. */
std::vector<std::string> read_argv() {
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  size_t i = 0;
  while (i < all.size()) {
    size_t j = all.find('\0', i);
    if (j == std::string::npos) j = all.size();
    args.push_back(all.substr(i, j - i));
    i = j + 1;
  }
  return args;
}

/* The running program file, "" when the link cannot be read. */
std::string read_exe() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "";
  return std::string(buf.data(), (size_t)n);
}

std::string make_cmd_line() {
  std::vector<std::string> args = read_argv();
  std::string exe = read_exe();
  if (exe.empty() && !args.empty()) exe = args[0];
  std::string line = quoted(exe);
  for (size_t i = 1; i < args.size(); i++) line += " " + quoted(args[i]);
  return line;
}

/* Joins a relative name to the current directory; false (errno set) when it is unknown. */
bool absolute_text(const std::string& name, std::string* p_out) {
  if (is_sep(name[0])) {
    *p_out = name;
    return true;
  }
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return false;
    buf.resize(buf.size() * 2);
  }
  *p_out = std::string(buf.data()) + "/" + name;
  return true;
}

/* Resolves "." and ".." and repeated separators by text; keeps a final separator. */
std::string normalised(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = i;
    while (j < path.size() && !is_sep(path[j])) j++;
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty() || is_sep(path.back())) out += "/";
  return out;
}

}  // namespace

LPSTR GetCommandLineA(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_is_made) {
    g_cmd_line = make_cmd_line();
    g_is_made = true;
  }
  return g_cmd_line.data();
}

void win32_process_set_command_line(const char* p_cmd_line) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (p_cmd_line) {
    g_cmd_line = p_cmd_line;
    g_is_made = true;
  } else {
    g_cmd_line.clear();
    g_is_made = false;
  }
}

DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
  if (lpFileName == nullptr || (lpBuffer == nullptr && nBufferLength > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string name(lpFileName);  // copied first: the buffer may be the name
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::string full;
  if (!absolute_text(name, &full)) {
    SetLastError(win32_error_from_errno(errno));
    return 0;
  }
  full = normalised(full);
  if (full.size() + 1 > nBufferLength) return (DWORD)(full.size() + 1);
  memcpy(lpBuffer, full.c_str(), full.size() + 1);
  if (lpFilePart) {
    size_t i_last = full.find_last_of('/');
    *lpFilePart = (i_last + 1 < full.size()) ? lpBuffer + i_last + 1 : nullptr;
  }
  return (DWORD)full.size();
}
