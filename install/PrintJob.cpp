#include "install/PrintJob.h"

#include "install/DriverInstaller.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

// JOB_STATUS_* bits that mean the job will not print by itself.
struct StatusProblem {
    std::uint32_t bit;
    JobProblem problem;
};
constexpr StatusProblem kJobProblems[] = {
    {0x2, JobProblem::PrinterError},      {0x20, JobProblem::Offline},  {0x40, JobProblem::PaperOut},
    {0x400, JobProblem::UserIntervention}, {0x200, JobProblem::Blocked}, {0x1, JobProblem::JobPaused},
    {0x4, JobProblem::Cancelled},          {0x100, JobProblem::Cancelled},
};
// JOB_STATUS_PRINTED and JOB_STATUS_COMPLETE: a spooler that keeps printed
// documents lists the job on after it has printed.
constexpr std::uint32_t kJobPrinted = 0x80 | 0x1000;
// PRINTER_STATUS_* bits that explain a job still waiting.
constexpr StatusProblem kPrinterProblems[] = {
    {0x1, JobProblem::PrinterPaused}, {0x80, JobProblem::Offline}, {0x10, JobProblem::PaperOut}};


// Follows the job until it leaves the queue, shows a problem, or the time
// is up. A job id the spooler no longer knows has left the queue: Windows
// answers 87 for it, Wine 6.
void FollowJob(Platform& platform, PrinterHandle printer, const std::string& printerName, std::uint32_t waitSeconds,
               PrintJobReport& report, FunctionRef<void(std::uint64_t)> following) {
    for (std::uint64_t waited = 0;; waited += JobPollMs) {
        const auto job = platform.getJob(printer, report.jobId);
        if (job.error == winerr::InvalidParameter || job.error == winerr::InvalidHandle) return;
        if (!job.ok()) {
            report = {JobProblem::SpoolerStep, "GetJob", job.error, report.jobId, false};
            return;
        }
        if (job.value.status & kJobPrinted) return;
        for (const auto& entry : kJobProblems) {
            if (job.value.status & entry.bit) {
                report.problem = entry.problem;
                return;
            }
        }
        if (waited >= std::uint64_t{waitSeconds} * 1000) {
            report.problem = JobProblem::StillQueued;
            const auto found = FindPrinter(platform, printerName);
            for (const auto& entry : kPrinterProblems) {
                if (found && (found->status & entry.bit)) {
                    report.problem = entry.problem;
                    break;
                }
            }
            return;
        }
        if (following) following(waited);
        platform.sleep(JobPollMs);
    }
}


}  // namespace

PrintJobReport PrintRawJob(Platform& platform, const std::string& printerName, const std::string& documentName,
                           const std::string& bytes, std::uint32_t waitSeconds,
                           FunctionRef<void()> submitted,
                           FunctionRef<void(std::uint64_t)> following) {
    PrintJobReport report;
    const auto fail = [&report](const char* step, WinError error) {
        if (report.succeeded()) report = {JobProblem::SpoolerStep, step, error, report.jobId, false};
    };
    const auto handle = platform.openPrinter(printerName);
    if (!handle.ok()) {
        fail("OpenPrinter", handle.error);
        if (submitted) submitted();
        return report;
    }
    const auto job = platform.startRawDocument(handle.value, documentName);
    if (!job.ok()) {
        fail("StartDocPrinter", job.error);
    } else {
        report.jobId = job.value;
        if (const WinError error = platform.writePrinter(handle.value, bytes)) fail("WritePrinter", error);
        // The document is ended even after a failed write, so the spooler
        // does not keep a half job open.
        if (const WinError error = platform.endRawDocument(handle.value)) fail("EndDocPrinter", error);
    }
    if (submitted) submitted();
    if (report.succeeded() && waitSeconds > 0) {
        FollowJob(platform, handle.value, printerName, waitSeconds, report, following);
        const bool stuck = report.problem != JobProblem::None && report.problem != JobProblem::SpoolerStep &&
                           report.problem != JobProblem::Cancelled;
        if (stuck) {
            report.deleted = platform.deleteJob(handle.value, report.jobId) == winerr::Success;
            report.deleteFailed = !report.deleted;
        }
    }
    platform.closePrinter(handle.value);
    return report;
}


}  // namespace kelp
