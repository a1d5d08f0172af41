// Progress of a long engine call, shown as a bar on standard error while
// the call runs on a worker thread.
#pragma once

#include <functional>
#include <string>

namespace vcli {

struct Engine;

// The name of an engine progress status ("saving", "writing", ...); "" for
// none.
const char* StatusName(int status);

// A bar on standard error, one line per phase: the line of a phase that
// ended stays, with the last figure it reached.
class ProgressBar {
public:
    void Show(const char* phase, int percent);
    void End();

private:
    std::string phase_;
    int percent_ = -1;
};

// Runs call on a worker thread; the main thread samples progress every
// 50 ms and shows it until the call returns.
int RunWithProgress(std::function<int()> call, const std::function<void(ProgressBar&)>& sample);

// Shows what Get_Progress_Status says while the engine is busy.
void SampleEngineProgress(const Engine& engine, ProgressBar& bar);

}  // namespace vcli
