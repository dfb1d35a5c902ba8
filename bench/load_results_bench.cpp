// Reading a large result file back into the result list, as the window does
// at start-up. Writes a result file of N lines (default 100 000) into a fresh
// program folder, times TDelivery::LoadResultList and reports the process's
// peak memory. Usage: load_results_bench [N] [folder]
#include "jtext/JpWords.h"
#include "run/TDelivery.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class TNullView : public IView {
public:
    void ClearSummary() override {}
    void UpdateSummary(bool, std::string_view, int, int, std::int64_t, int) override {}
    void SetLabelState(std::string_view) override {}
    void SetLabelSendVisible(bool) override {}
    void SetProgressMax(int) override {}
    void SetProgressPosition(int) override {}
    void ResultRowsReset() override {}
    void ResultRowInserted() override {}
    void ProcessEvents() override {}
    void StartTimerWait(std::uint32_t) override {}
    void ShowWarning(std::string_view, std::string_view) override {}
    void ShowInformation(std::string_view) override {}
    bool AskYesNo(std::string_view) override { return false; }
    void CloseWindow() override {}
    void ReportUnattended(std::string_view) override {}
    void WriteStandardError(std::string_view) override {}
};

// Peak resident memory of this process in KiB (VmHWM).
long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 100000;
    const std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "load_results_bench").string();
    std::filesystem::create_directories(folder);
    const std::string programFolder = folder + "/";

    {
        // Lines as a run writes them: 13 fields, CR LF.
        std::ofstream out(programFolder + "$mail_result.csv", std::ios::binary | std::ios::trunc);
        for (long k = 1; k <= n; ++k) {
            out << "2024/3/5,9:5:7,9:5:8," << (k % 10 == 0 ? 3 : 0) << ',' << (k % 10 == 0 ? jp::kSendFailure : jp::kSent)
                << ",mail.example.jp,TO:user" << k << "@example.jp,from@example.jp,subject " << k << ",," << k << ",A" << k
                << ',' << programFolder << "mails/m" << (k % 1000) << ".txt\r\n";
        }
    }

    const long before = PeakRssKb();
    TNullView view;
    TSystemClock clock;
    TSystemMailerProcess mailer;
    TDelivery delivery(programFolder, view, clock, mailer);
    const auto start = std::chrono::steady_clock::now();
    delivery.LoadResultList();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = PeakRssKb();

    std::printf("rows %zu\nseconds %.3f\npeak_rss_mb %.1f\npeak_rss_before_mb %.1f\n", delivery.ResultRows().Count(), seconds,
                after / 1024.0, before / 1024.0);
    std::filesystem::remove_all(folder);
    return delivery.ResultRows().Count() == static_cast<std::size_t>(n) ? 0 : 1;
}
