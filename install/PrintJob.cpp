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

Bilingual ProblemText(JobProblem problem) {
    switch (problem) {
        case JobProblem::JobPaused: return {"打印任务已暂停", "the job is paused"};
        case JobProblem::PrinterError: return {"打印机报告了错误", "the printer reported an error"};
        case JobProblem::Offline: return {"打印机已脱机", "the printer is offline"};
        case JobProblem::PaperOut: return {"打印机缺纸", "the printer is out of paper"};
        case JobProblem::UserIntervention: return {"打印机需要人工处理", "the printer needs attention"};
        case JobProblem::Blocked: return {"打印任务被阻塞", "the job is blocked"};
        case JobProblem::PrinterPaused: return {"打印机已暂停", "the printer is paused"};
        case JobProblem::Cancelled: return {"打印任务在打印前被删除", "the job was deleted before it printed"};
        default: return {"", ""};
    }
}

// Follows the job until it leaves the queue, shows a problem, or the time
// is up. A job id the spooler no longer knows has left the queue: Windows
// answers 87 for it, Wine 6.
void FollowJob(Platform& platform, PrinterHandle printer, const std::string& printerName, std::uint32_t waitSeconds,
               PrintJobReport& report, const std::function<void(std::uint64_t)>& following) {
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

// What became of a stuck job: deleted, or still in the queue.
std::string DeletionText(const PrintJobReport& report, bool english) {
    if (report.deleted) return english ? " The job was deleted." : "已删除该打印任务。";
    if (report.deleteFailed)
        return english ? " The job could not be deleted: it is still in the queue." : "无法删除该打印任务：它仍在打印队列中。";
    return {};
}

}  // namespace

PrintJobReport PrintRawJob(Platform& platform, const std::string& printerName, const std::string& documentName,
                           const std::string& bytes, std::uint32_t waitSeconds,
                           const std::function<void()>& submitted,
                           const std::function<void(std::uint64_t)>& following) {
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

std::string DescribePrintJobReport(const PrintJobReport& report, std::uint32_t waitSeconds, Language language) {
    const bool english = language == Language::English;
    switch (report.problem) {
        case JobProblem::None: return {};
        case JobProblem::SpoolerStep:
            return (english ? "The test receipt was not printed: " + report.failedStep + " failed (error "
                            : "测试小票未能打印：" + report.failedStep + " 失败（错误 ") +
                   ErrorNumber(report.error, language) + (english ? ")." : "）。");
        case JobProblem::StillQueued: {
            const std::string seconds = std::to_string(waitSeconds);
            std::string text = english ? "The test receipt is still in the queue after " + seconds +
                                             " s: is the printer on and connected?"
                                       : "测试小票在 " + seconds + " 秒后仍在打印队列中：打印机是否已开机并连接？";
            return text + DeletionText(report, english);
        }
        default: {
            const Bilingual problem = ProblemText(report.problem);
            std::string text = english ? std::string("The test receipt was not printed: ") + problem.english + "."
                                       : std::string("测试小票未能打印：") + problem.chinese + "。";
            return text + DeletionText(report, english);
        }
    }
}

}  // namespace kelp
