// The tests' child processes on Windows, through CreateProcessW (tests/test_support.cpp has the
// POSIX ones). A file-size limit has no Windows counterpart and is not applied.

#include <windows.h>

#include "common/windows_text.hpp"
#include "tests/test_support.hpp"

namespace koralux::test {

namespace {

// One argument quoted as CommandLineToArgvW and the C runtime read it back: backslashes are
// literal except before a quote, where they are doubled along with the escaped quote.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  text.append(backslashes * 2, L'\\');
  return text + L"\"";
}

HANDLE inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> command, const std::filesystem::path& folder,
                           std::uint64_t /*fileSizeLimit*/) {
  std::wstring line;
  for (const std::string& argument : command) {
    if (!line.empty()) line += L' ';
    line += quoted(windows::widen(argument));
  }
  const HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE out =
      inheritable(windows::widen(capture_.file("out")), GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE err =
      inheritable(windows::widen(capture_.file("err")), GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const std::wstring where = folder.wstring();
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     where.empty() ? nullptr : where.c_str(), &startup, &process)) {
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    pid_ = static_cast<pid_t>(process.dwProcessId);
  } else {
    const std::string failure =
        "cannot start " + command.at(0) + ": " + windows::errorText(GetLastError()) + "\n";
    DWORD written = 0;
    WriteFile(err, failure.data(), static_cast<DWORD>(failure.size()), &written, nullptr);
  }
  for (const HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

ChildProcess::~ChildProcess() {
  if (process_ == nullptr) return;
  TerminateProcess(process_, 1);
  WaitForSingleObject(process_, INFINITE);
  CloseHandle(process_);
}

ProcessResult ChildProcess::wait() {
  if (process_ == nullptr) {
    ProcessResult failed;
    failed.status = 127;
    failed.err = text(capture_.file("err"));
    return failed;
  }
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
  ProcessResult result;
  result.status = static_cast<int>(code);
  result.out = text(capture_.file("out"));
  result.err = text(capture_.file("err"));
  return result;
}

}  // namespace koralux::test
