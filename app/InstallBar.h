#pragma once

namespace inkwarden {

// The installing page's bar: the download fills its first half; the package's run, whose
// length nobody knows, then creeps it on by a timer and stops short of the end.
class InstallBar {
public:
    static constexpr unsigned TIMER_ID = 512;
    static constexpr int TIMER_PERIOD_MS = 100;
    // The bar control's range.
    static constexpr int RANGE = 1000;
    static constexpr double DOWNLOAD_SHARE = 0.5;
    static constexpr double STEP = 0.001;
    static constexpr double STOP_THRESHOLD = 0.99;

    // The bar's value for a download that has come this far.
    static int DownloadValue(double fraction) {
        return static_cast<int>(fraction * RANGE * DOWNLOAD_SHARE);
    }
    // The package starts: the creep begins at the download's end.
    int StartInstalling() {
        fraction_ = DOWNLOAD_SHARE;
        return static_cast<int>(fraction_ * RANGE);
    }
    // One timer tick: the value to show; Creeping() is false once the timer should stop.
    int Tick() {
        fraction_ += STEP;
        return static_cast<int>(fraction_ * RANGE);
    }
    bool Creeping() const { return fraction_ <= STOP_THRESHOLD; }

private:
    double fraction_ = 0.0;
};

} // namespace inkwarden
