// A RAW job through the spooler (the test receipt's), and what became of it:
// the job is followed in the queue until it leaves it, and one that is
// stuck there (an error, a printer that is off or paused) is deleted, so
// that it does not print hours later when nobody expects it.
#pragma once

#include <cstdint>
#include "platform/FunctionRef.h"
#include <string>

#include "platform/Platform.h"

namespace kelp {

// How often the job is looked at while it is followed.
constexpr std::uint32_t JobPollMs = 500;

enum class JobProblem {
    None,              // written, and (when followed) gone from the queue without an error
    SpoolerStep,       // a spooler call failed: failedStep, error
    JobPaused,         // JOB_STATUS_PAUSED
    PrinterError,      // JOB_STATUS_ERROR
    Offline,           // JOB_STATUS_OFFLINE, or the printer offline when the time was up
    PaperOut,          // JOB_STATUS_PAPEROUT, or the printer out of paper when the time was up
    UserIntervention,  // JOB_STATUS_USER_INTERVENTION
    Blocked,           // JOB_STATUS_BLOCKED_DEVQ
    Cancelled,         // JOB_STATUS_DELETING or JOB_STATUS_DELETED: someone deleted it
    PrinterPaused,     // still queued when the time was up, the printer paused
    StillQueued,       // still queued when the time was up
};

struct PrintJobReport {
    JobProblem problem = JobProblem::None;
    std::string failedStep;  // "OpenPrinter", "StartDocPrinter", "WritePrinter", "EndDocPrinter", "GetJob"
    WinError error = winerr::Success;
    std::uint32_t jobId = 0;
    bool deleted = false;  // a stuck job was taken out of the queue
    bool deleteFailed = false;  // a stuck job that could not be deleted: it is still queued
    bool succeeded() const { return problem == JobProblem::None; }
};

// Opens the printer, writes bytes as one RAW document and, when waitSeconds
// is not 0, follows the job for at most that long. submitted, when given, is
// called once the document has ended, before the job is followed, whether or
// not the spooler steps succeeded; following, when given, before each pause
// while the job is followed, with the milliseconds waited so far.
PrintJobReport PrintRawJob(Platform& platform, const std::string& printerName, const std::string& documentName,
                           const std::string& bytes, std::uint32_t waitSeconds,
                           FunctionRef<void()> submitted = {},
                           FunctionRef<void(std::uint64_t waitedMs)> following = {});


}  // namespace kelp
