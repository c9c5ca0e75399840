#include "simulator/outputpacer.h"

#include <algorithm>
#include <memory>

namespace tarvo::simulator {

namespace {

constexpr int stepMs = 20;

struct Playback {
    std::vector<PacedLine> lines;
    size_t next = 0;
    int step = 0;
    int steps = 1;
    int status = 0;
    std::function<void(const QByteArray&)> out;
    std::function<void(const QByteArray&)> err;
    std::function<void(int)> done;
    DelayedCalls* later = nullptr;

    void emitUpTo(size_t end)
    {
        QByteArray outChunk;
        for (; next < end; ++next) {
            const PacedLine& l = lines[next];
            if (l.toConsole) {
                if (!outChunk.isEmpty())
                    out(outChunk), outChunk.clear();
                err(l.text + '\n');
            } else {
                outChunk += l.text + '\n';
            }
        }
        if (!outChunk.isEmpty())
            out(outChunk);
    }
};

void runStep(const std::shared_ptr<Playback>& p)
{
    ++p->step;
    p->emitUpTo(p->lines.size() * size_t(p->step) / size_t(p->steps));
    if (p->step >= p->steps) {
        if (p->status >= 0)
            p->done(p->status);
        return;
    }
    p->later->after(stepMs, [p] { runStep(p); });
}

struct TimedPlayback {
    std::vector<TimedLine> lines;
    size_t next = 0;
    qint64 nowMs = 0;
    qint64 durationMs = 0;
    int status = 0;
    Invocation inv;
};

// Prints what is due, then waits for the next line (no shorter than a step,
// so that lines close together go out as one chunk) or the end.
void runTimed(const std::shared_ptr<TimedPlayback>& p)
{
    QByteArray outChunk;
    for (; p->next < p->lines.size() && p->lines[p->next].atMs <= p->nowMs; ++p->next) {
        const PacedLine& l = p->lines[p->next].line;
        if (l.toConsole) {
            if (!outChunk.isEmpty())
                p->inv.out(outChunk), outChunk.clear();
            p->inv.err(l.text + '\n');
        } else {
            outChunk += l.text + '\n';
        }
    }
    if (!outChunk.isEmpty())
        p->inv.out(outChunk);
    const qint64 due = p->next < p->lines.size() ? p->lines[p->next].atMs : p->durationMs;
    if (p->next >= p->lines.size() && p->nowMs >= p->durationMs) {
        if (p->status >= 0)
            p->inv.done(p->status);
        return;
    }
    const qint64 wait = std::max<qint64>(stepMs, due - p->nowMs);
    // Long waits go in slices that fit the timers' int.
    const int slice = int(std::min<qint64>(wait, 1'000'000));
    p->inv.later.after(slice, [p, slice] {
        p->nowMs += slice;
        runTimed(p);
    });
}

}  // namespace

void playOut(const Invocation& inv, std::vector<PacedLine> lines, int durationMs, int status)
{
    auto p = std::make_shared<Playback>();
    p->lines = std::move(lines);
    p->steps = std::max(1, durationMs / stepMs);
    p->status = status;
    p->out = inv.out;
    p->err = inv.err;
    p->done = inv.done;
    p->later = &inv.later;
    inv.later.after(stepMs, [p] { runStep(p); });
}

void playOutTimed(const Invocation& inv, std::vector<TimedLine> lines, qint64 durationMs, int status)
{
    auto p = std::make_shared<TimedPlayback>(TimedPlayback{std::move(lines), 0, 0, durationMs, status, inv});
    inv.later.after(stepMs, [p] {
        p->nowMs = stepMs;
        runTimed(p);
    });
}

}  // namespace tarvo::simulator
