// The runtime's error codes: what SetRuntimeError() records and RuntimeErrorCode() gives back.
// The layers above pass them through and test for them, so each number is named here once.
// Their texts are in runtime/errors/error_texts.cpp.
#pragma once

#include <cstdint>

namespace vantrel::error_code {

inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kPathNotFound = 3;
inline constexpr std::int32_t kTooManyOpenFiles = 4;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kMemoryCorrupted = 7;
inline constexpr std::int32_t kInsufficientMemory = 8;
inline constexpr std::int32_t kEntryNotFound = 30;
inline constexpr std::int32_t kRecordNotFound = 35;
inline constexpr std::int32_t kFileNotOpen = 37;
inline constexpr std::int32_t kInvalidFileName = 45;
inline constexpr std::int32_t kInvalidFieldType = 75;
inline constexpr std::int32_t kUnsupportedFileFunction = 80;
// Also the text of every code that has none of its own.
inline constexpr std::int32_t kUnknownError = 81;
// A file error the codes above do not cover; its detail is in the operating system's error.
inline constexpr std::int32_t kFileSystemError = 90;
inline constexpr std::int32_t kTriggerError = 100;
// An operating-system error n is reported as code kOsErrorBase + n.
inline constexpr std::int32_t kOsErrorBase = 300;

}  // namespace vantrel::error_code
