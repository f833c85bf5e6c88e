#pragma once
// The status line's texts. They are shown exactly as written here; several
// look like slips but are what users and their procedures know, so keep them.

namespace host::status {

inline constexpr const char* kUploading = "Uploading...";
inline constexpr const char* kDownloading = "Downloading...";
inline constexpr const char* kUploadSuccessful = "Upload successful!";
inline constexpr const char* kUploadFailed = "Upload failed!";
// The KROHNE, ABB and E+H reads say it without the "!"; keep it that way.
inline constexpr const char* kUploadFailedPlain = "Upload failed";
// The device-ID query has its own wording.
inline constexpr const char* kUploadFailure = "Upload Failure!";
inline constexpr const char* kTimeout = "Upload data timeout!";
inline constexpr const char* kNoSensor = "Unable to find sensor!";

} // namespace host::status
