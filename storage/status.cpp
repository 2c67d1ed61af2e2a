#include "storage/status.h"

const char* status_text(StatusCode code) {
    switch (code) {
    case status::kOk:
        return "Sucessfull";
    case status::kInvalidParm:
        return "Invalid Parm";
    case status::kFileOpen:
        return "File Open";
    case status::kMalloc:
        return "Malloc";
    case status::kFileRead:
        return "File Read";
    case status::kFileWrite:
        return "File Write";
    case status::kFileSeek:
        return "File Seek";
    case status::kFileExists:
        return "File Exists";
    case status::kFileNotFound:
        return "File Not Found";
    case status::kRecordNotFound:
        return "Record Not Found";
    case status::kNoGraphics:
        return "No Graphics Found";
    case status::kNoFonts:
        return "No Fonts Found";
    case status::kChartsUninitialized:
        return "Charts Uninitialized";
    case status::kMaxLines:
        return "Max Lines Exceeded";
    case status::kMaxGrids:
        return "Max Grids Exceeded";
    case status::kNestingTooDeep:
        return "Nesting Too Deep";
    case status::kBadRecordShape:
        return "Unsupported Record";
    default:
        return "Unknown";
    }
}
