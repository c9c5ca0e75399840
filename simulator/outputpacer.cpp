#include "simulator/outputpacer.h"

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
        p->done(p->status);
        return;
    }
    p->later->after(stepMs, [p] { runStep(p); });
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

}  // namespace tarvo::simulator
