#include "tests/windows/windows_support.h"

#include <stdexcept>
#include <utility>

#include "core/platform.h"
#include "core/utf.h"

namespace picrelink::test {
namespace {

constexpr DWORD kPipeSize = 1 << 20;
constexpr DWORD kTimeoutMs = 60'000;

std::string Narrow(std::wstring_view text) {
  return ToUtf8(std::u16string(text.begin(), text.end()));
}

// One argument as CommandLineToArgvW reads it back: in quotes, with the
// backslashes before a quote (and before the closing quote) doubled.
std::wstring Quote(const std::wstring& arg) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
};

// A pipe whose one end (the child's) is inherited.
Pipe MakePipe(bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Pipe pipe;
  if (!CreatePipe(&pipe.read, &pipe.write, &inherit, kPipeSize)) {
    throw std::runtime_error("CreatePipe failed");
  }
  SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

void CloseIf(HANDLE& handle) {
  if (handle != nullptr) CloseHandle(std::exchange(handle, nullptr));
}

PROCESS_INFORMATION Start(const std::wstring& program, const std::vector<std::wstring>& args,
                          HANDLE in, HANDLE out, HANDLE err) {
  std::wstring commandLine = Quote(program);
  for (const auto& arg : args) commandLine += L" " + Quote(arg);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    throw std::runtime_error("cannot start " + Narrow(program) + ": " + SystemText(GetLastError()));
  }
  CloseHandle(process.hThread);
  return process;
}

std::string ReadToEnd(HANDLE pipe) {
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::string WithoutCarriageReturns(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

DWORD WaitForExit(HANDLE process) {
  if (WaitForSingleObject(process, kTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    throw std::runtime_error("a helper program did not end in time");
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

std::wstring HelperProgram() { return BesideThisProgram(L"hold_file.exe"); }

}  // namespace

std::u16string ItemListing(std::u16string_view folder, std::u16string_view urlFolder) {
  return u"\"标题\",\"描述\"\r\n\"商品\",\"<p><img src=\"\"" + std::u16string(folder) +
         u"\\item1\\主图.jpg\"\"><img src=\"\"" + std::u16string(urlFolder) +
         u"/item1/细节.jpg\"\"></p>\"\r\n";
}

std::u16string UrlOf(std::u16string_view path) {
  std::u16string url = u"file:///";
  for (char16_t c : path) {
    if (c == u'\\') {
      url += u'/';
    } else if (c == u' ') {
      url += u"%20";
    } else {
      url += c;
    }
  }
  return url;
}

std::string SystemText(DWORD code) { return platform::SystemErrorText(static_cast<int>(code)); }

std::wstring BesideThisProgram(std::wstring_view relativeName) {
  const std::u16string folder = platform::ProgramFolder();
  const std::u16string full =
      platform::AbsolutePath(folder + std::u16string(relativeName.begin(), relativeName.end()));
  return std::wstring(full.begin(), full.end());
}

ProgramResult RunProgram(const std::wstring& program, const std::vector<std::wstring>& args) {
  Pipe in = MakePipe(true);
  Pipe out = MakePipe(false);
  Pipe err = MakePipe(false);
  PROCESS_INFORMATION process{};
  try {
    process = Start(program, args, in.read, out.write, err.write);
  } catch (...) {
    for (HANDLE* h : {&in.read, &in.write, &out.read, &out.write, &err.read, &err.write})
      CloseIf(*h);
    throw;
  }
  // The child has its own copies; ours must go for the reads to see the end.
  CloseIf(in.read);
  CloseIf(in.write);
  CloseIf(out.write);
  CloseIf(err.write);
  ProgramResult result;
  result.exitCode = WaitForExit(process.hProcess);
  CloseHandle(process.hProcess);
  result.out = WithoutCarriageReturns(ReadToEnd(out.read));
  result.err = WithoutCarriageReturns(ReadToEnd(err.read));
  CloseIf(out.read);
  CloseIf(err.read);
  return result;
}

FileHeldByOtherProgram::FileHeldByOtherProgram(const std::filesystem::path& file) {
  Pipe in = MakePipe(true);
  Pipe out = MakePipe(false);
  const PROCESS_INFORMATION process =
      Start(HelperProgram(), {L"hold", file.wstring()}, in.read, out.write, out.write);
  CloseIf(in.read);
  CloseIf(out.write);
  process_ = process.hProcess;
  input_ = in.write;
  // "held" once the file is open; the end of the pipe when the open failed.
  std::string said;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(out.read, &c, 1, &got, nullptr) && got == 1 && c != '\n') said += c;
  CloseIf(out.read);
  if (said.rfind("held", 0) != 0) {
    CloseIf(input_);
    const DWORD code = WaitForExit(process_);
    CloseIf(process_);
    throw std::runtime_error("the other program could not open " + file.string() + ": " +
                             SystemText(code));
  }
}

FileHeldByOtherProgram::~FileHeldByOtherProgram() {
  CloseIf(input_);
  if (process_ != nullptr) {
    WaitForSingleObject(process_, kTimeoutMs);
    CloseIf(process_);
  }
}

DWORD OtherProgramOpenError(const std::filesystem::path& file) {
  return RunProgram(HelperProgram(), {L"try", file.wstring()}).exitCode;
}

DWORD AttributesOf(const std::filesystem::path& file) {
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    throw std::runtime_error("no attributes for " + file.string());
  }
  return attributes;
}

void SetAttributes(const std::filesystem::path& file, DWORD attributes) {
  if (!SetFileAttributesW(file.c_str(), attributes)) {
    throw std::runtime_error("cannot set the attributes of " + file.string());
  }
}

}  // namespace picrelink::test
