// bench_network.exe [probes] [searches] [Kelp.exe]
//
// Times the network side of Kelp's engine over Win32Network, inside the
// network namespace bench/run.sh makes, where fake printers listen
// (scripts/e2e/fake-printers.py):
//
//   probe         ProbePrinter on the ready printer at 127.0.1.10:9100: the
//                 connect and the four status requests and answers
//   identity      the same, the printer asked who it is as well (GS I 67,
//                 66 and 68: it names itself)
//   find          FindPrinters over 127.0.2.1-127.0.2.254 (the command
//                 line's /find with a range): three printers that name
//                 themselves there, 127.0.2.20 and 127.0.2.200 ready and
//                 127.0.2.40 with paper near its end, which hangs up after a
//                 second of silence; every other
//                 address takes no connection (its SYN goes unanswered, as a
//                 host that is off), so the 1 s deadline bounds the search
//   find_refused  the same over 127.0.3.1-127.0.3.254, where every connect
//                 is refused at once
//   find_dead     127.0.6.1-127.0.6.254, where nothing answers a connect
//   find_one      127.0.6.1 alone: one address that does not answer
//   find_silent   127.0.5.1-127.0.5.254: 254 peers that accept a connection
//                 and never answer
//   find_silent1024  127.0.8.0-127.0.11.255: 1,024 such peers
//   find_exe      Kelp.exe /find:127.0.2.1-127.0.2.254, start to exit (with
//                 the process's own start and its log), when a Kelp.exe is given
//
// One of each comes first and is not counted. Prints "network" lines (see
// BenchSupport.h); exit code 1 when a probe does not answer "ready" or a
// search does not find exactly its two printers.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "install/NetworkPrinter.h"
#include "install/Wording.h"
#include "platform/win32/Win32Network.h"

namespace {

constexpr const char* kProgram = "bench_network";

// The range's three printers with their true states, each named.
bool findsThePrinters(const std::vector<kelp::FoundPrinter>& found) {
    using S = kelp::PrinterState;
    return found.size() == 3 && kelp::FormatIpv4(found[0].address) == "127.0.2.20" && found[0].state == S::Ready &&
           kelp::FormatIpv4(found[1].address) == "127.0.2.40" && found[1].state == S::PaperNearEnd &&
           kelp::FormatIpv4(found[2].address) == "127.0.2.200" && found[2].state == S::Ready &&
           found[0].identity.named() && found[1].identity.named() && found[2].identity.named();
}

kelp::Ipv4Range range(const char* first, const char* last) {
    return {*kelp::ParseIpv4(first), *kelp::ParseIpv4(last)};
}

// Start to exit of a command line; negative when it did not run or ended
// with another code than 0.
double runMs(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    bench::Stopwatch watch;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, 60000);
    const double ms = watch.elapsedMs();
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0 ? ms : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int probes = bench::positiveArgument(argc > 1 ? argv[1] : nullptr, 20);
    const int searches = bench::positiveArgument(argc > 2 ? argv[2] : nullptr, 5);
    const std::wstring kelpExe = argc > 3 ? argv[3] : L"";
    kelp::win32::Win32Network network;
    const kelp::NetworkAddress printer{"127.0.1.10", 9100};
    const std::vector<kelp::Ipv4Range> answering = {range("127.0.2.1", "127.0.2.254")};
    const std::vector<kelp::Ipv4Range> refusing = {range("127.0.3.1", "127.0.3.254")};
    const std::vector<kelp::Ipv4Range> dead = {range("127.0.6.1", "127.0.6.254")};
    const std::vector<kelp::Ipv4Range> one = {range("127.0.6.1", "127.0.6.1")};
    const std::vector<kelp::Ipv4Range> silent = {range("127.0.5.1", "127.0.5.254")};
    const std::vector<kelp::Ipv4Range> silent1024 = {range("127.0.8.0", "127.0.11.255")};
    bool ok = true;

    std::vector<double> probe, identity, find, refused, deadMs, oneMs, silentMs, silent1024Ms, exe;
    for (int i = 0; i <= probes; ++i) {
        bench::Stopwatch watch;
        const kelp::PrinterState state = kelp::ProbePrinter(network, printer);
        if (i > 0) probe.push_back(watch.elapsedMs());
        watch.start();
        kelp::PrinterIdentity named;
        const kelp::PrinterState again = kelp::ProbePrinter(network, printer, {}, &named);
        if (i > 0) identity.push_back(watch.elapsedMs());
        if (state != kelp::PrinterState::Ready || again != kelp::PrinterState::Ready || !named.named()) {
            bench::complain(kProgram, "the probe of 127.0.1.10:9100 answered " + kelp::DescribePrinterState(state, kelp::Language::English) +
                                          (named.named() ? "" : ", unnamed"));
            ok = false;
        }
    }
    for (int i = 0; i <= searches; ++i) {
        bench::Stopwatch watch;
        const auto found = kelp::FindPrinters(network, answering, {});
        if (i > 0) find.push_back(watch.elapsedMs());
        watch.start();
        const auto none = kelp::FindPrinters(network, refusing, {});
        if (i > 0) refused.push_back(watch.elapsedMs());
        watch.start();
        const auto nothing = kelp::FindPrinters(network, dead, {});
        if (i > 0) deadMs.push_back(watch.elapsedMs());
        watch.start();
        kelp::FindPrinters(network, one, {});
        if (i > 0) oneMs.push_back(watch.elapsedMs());
        watch.start();
        const auto mute = kelp::FindPrinters(network, silent, {});
        if (i > 0) silentMs.push_back(watch.elapsedMs());
        watch.start();
        const auto mute1024 = kelp::FindPrinters(network, silent1024, {});
        if (i > 0) silent1024Ms.push_back(watch.elapsedMs());
        if (!findsThePrinters(found) || !none.empty() || !nothing.empty() || mute.size() != 254 || mute1024.size() != 1024) {
            bench::complain(kProgram, "the searches found " + std::to_string(found.size()) + ", " +
                                          std::to_string(none.size()) + ", " + std::to_string(nothing.size()) + ", " +
                                          std::to_string(mute.size()) + " and " + std::to_string(mute1024.size()) +
                                          " printers, not 3 (with their states), 0, 0, 254 and 1024");
            ok = false;
        }
        if (kelpExe.empty()) continue;
        const double ms = runMs(L"\"" + kelpExe + L"\" /find:127.0.2.1-127.0.2.254 /log:C:\\bench\\find.log");
        if (ms < 0) {
            bench::complain(kProgram, "Kelp.exe /find failed");
            ok = false;
        } else if (i > 0) {
            exe.push_back(ms);
        }
    }
    bench::report("network", "probe", probe);
    bench::report("network", "identity", identity);
    bench::report("network", "find", find);
    bench::report("network", "find_refused", refused);
    bench::report("network", "find_dead", deadMs);
    bench::report("network", "find_one", oneMs);
    bench::report("network", "find_silent", silentMs);
    bench::report("network", "find_silent1024", silent1024Ms);
    if (!exe.empty()) bench::report("network", "find_exe", exe);
    return ok ? 0 : 1;
}
