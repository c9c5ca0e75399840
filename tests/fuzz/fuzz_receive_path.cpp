// Fuzz target: arbitrary byte blocks in arbitrary splits into the receive
// path and line interpreter, checked against a plain reference model.
#include "link_probe.h"
#include "link/controller_link.h"
#include "recording_view.h"
#include "virtual_platform.h"
#include "workflow/controller_output.h"

#include "fuzz_check.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct Reference {
    QByteArray partial;
    QString log;
    bool prompt = false;
    bool error = false;
    std::int16_t status = 0;
    QString label;

    void complete()
    {
        log += QStringLiteral("\r\n") + QString::fromLatin1(partial);
        interpret(partial);
        partial.clear();
    }
    // 0: text, 1: after ESC, 2: in CSI, 3: in OSC, 4: ESC in OSC.
    int escape = 0;
    bool inEscape(unsigned char u)
    {
        if (u == 10 || u == 13) {
            escape = 0;
            return false;
        }
        switch (escape) {
        case 0: if (u == 27) { escape = 1; return true; } return false;
        case 1: escape = u == '[' ? 2 : u == ']' ? 3 : 0; return true;
        case 2: if (!(u >= 0x20 && u <= 0x3f)) escape = 0; return true;
        case 3: if (u == 7) escape = 0; else if (u == 27) escape = 4; return true;
        default: escape = 0; return true;
        }
    }
    void feed(const QByteArray& block)
    {
        for (const char c : block) {
            const auto u = static_cast<unsigned char>(c);
            if (inEscape(u) || (u >= 14 && u <= 31) || u == 13)
                continue;
            if (u == 10) {
                complete();
                continue;
            }
            partial += c;
            if (partial.size() >= tarvo::link::ControllerLink::kMaxLineLength)
                complete();
        }
    }
    void interpret(const QByteArray& l)
    {
        for (const char* p : {"RFV: ", "RPN: ", "R_343_FV: ", "R_343_PN: ", "R_MOD_FV: "})
            if (l.startsWith(p))
                return;
        if (l.endsWith("login: ")) {
            prompt = true;
        } else if (!error && l.startsWith("tar:")) {
            label = QString::fromLatin1(l);
            error = true;
        } else if (!error && l.endsWith("Handle")) {
            label = QString::fromLatin1(l) + QStringLiteral("\r\nCall for service.");
            error = true;
        } else if (!error && l.startsWith("tftp:")) {
            label = QString::fromLatin1(l);
            error = true;
        } else if (l.startsWith("CMDVAL: ")) {
            bool ok = false;
            const QByteArray rest = l.mid(8).trimmed();
            const long long v = rest.toLongLong(&ok);
            // (toLongLong would stop at a NUL byte; a NUL makes no number.)
            if (ok && !rest.contains('\0') && v >= -32768 && v <= 32767)
                status = static_cast<std::int16_t>(v);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tarvo::platform::VirtualPlatform p;
    tarvo::test::RecordingView c;
    tarvo::link::ControllerLink link(p, p);
    c.watchLink(link);
    QString label;
    tarvo::workflow::ControllerOutputReader reader([&label](const QString& text) { label = text; });
    QObject::connect(&link, &tarvo::link::ControllerLink::lineReceived, &link,
                     [&reader](const QByteArray& line) { reader.read(line); });
    link.connectToController(QStringLiteral("10.0.0.1"), 1138, 5000);
    Reference ref;

    // Each block: two length bytes, then that many bytes (the last one
    // takes what is left); long blocks are repeated to reach large sizes.
    std::size_t at = 0;
    int blocks = 0;
    while (at < size && blocks < 64) {
        std::size_t len = size - at;
        std::size_t repeat = 1;
        if (size - at >= 3) {
            len = (data[at] | (data[at + 1] << 8)) % 2048;
            repeat = 1 + (data[at + 1] >> 6) * (data[at + 1] >> 6) * 40;  // up to ~360 copies
            at += 2;
            len = std::min(len, size - at);
        }
        QByteArray block(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(len));
        at += len;
        block = block.repeated(static_cast<qsizetype>(repeat));
        ref.feed(block);
        p.sockets.front()->deliver(block);
        p.doEvents();
        if (++blocks % 3 == 0)
            p.runUntil(p.nowMs() + 2);  // sometimes the interpreter runs between blocks
    }
    p.runUntil(p.nowMs() + 10);

    fuzzCheck(tarvo::test::LinkProbe(link).partialLineLength() == ref.partial.size(), "pending fragment");
    fuzzCheck(tarvo::test::LinkProbe(link).partialLineLength() < tarvo::link::ControllerLink::kMaxLineLength, "fragment bound");
    fuzzCheck(tarvo::test::LinkProbe(link).queuedLineCount() == 0, "queue drained");
    fuzzCheck(c.log == ref.log, "log");
    fuzzCheck(link.loginPromptSeen() == ref.prompt, "prompt");
    fuzzCheck(reader.hasComplaint() == ref.error, "error flag");
    fuzzCheck(link.lastStatus() == ref.status, "status");
    if (ref.error)
        fuzzCheck(label == ref.label, "label");
    fuzzCheck(link.isConnected(), "link stays up");
    return 0;
}
