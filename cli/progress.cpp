#include "progress.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "engine_binding.h"
#include "records.h"

namespace vcli {

const char* StatusName(int status) {
    switch (status) {
    case kStatusSaving: return "saving";
    case kStatusReading: return "reading";
    case kStatusWriting: return "writing";
    case kStatusErasing: return "erasing";
    case kStatusDownloading: return "downloading";
    case kStatusVerifying: return "verifying";
    default: return "";
    }
}

void ProgressBar::Show(const char* phase, int percent) {
    if (phase == nullptr || *phase == '\0') return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (phase_ != phase) {
        if (!phase_.empty()) fputc('\n', stderr);
        phase_ = phase;
        percent_ = -1;
    }
    if (percent == percent_) return;
    percent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    fprintf(stderr, "\r%-12s [%s%s] %3d%%", phase, std::string(filled, '#').c_str(),
            std::string(kWidth - filled, '.').c_str(), percent);
    fflush(stderr);
}

void ProgressBar::End() {
    if (!phase_.empty()) fputc('\n', stderr);
    phase_.clear();
    fflush(stderr);
}

namespace {

struct WorkerJob {
    std::function<int()> call;
    int result = 0;
};

DWORD WINAPI WorkerMain(void* param) {
    WorkerJob* job = static_cast<WorkerJob*>(param);
    job->result = job->call();
    return 0;
}

}  // namespace

int RunWithProgress(std::function<int()> call, const std::function<void(ProgressBar&)>& sample) {
    WorkerJob job;
    job.call = std::move(call);
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &job, 0, nullptr);
    if (thread == nullptr) return job.call();
    ProgressBar bar;
    while (WaitForSingleObject(thread, 50) == WAIT_TIMEOUT) sample(bar);
    CloseHandle(thread);
    sample(bar);
    bar.End();
    return job.result;
}

void SampleEngineProgress(const Engine& engine, ProgressBar& bar) {
    int status = 0, percent = 0, busy = 0;
    engine.Get_Progress_Status(&status, &percent, &busy);
    if (busy) bar.Show(StatusName(status), percent);
}

}  // namespace vcli
