// Any script of line bytes, clock steps, key presses and unplugs through the front panel on a
// scripted port: the receive dispatcher and the poll cycle must never crash, hang or grow
// without bound, and the face must stay one the window can draw.
#include "FrontPanelFixture.h"
#include "FuzzCheck.h"

#include <QFile>
#include <QtGlobal>
#include <cstdio>
#include <cstddef>
#include <cstdint>

using namespace kx;
using kx::test::FrontPanelFixture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // Bad input is expected to be logged; the log would drown the fuzzer's own output.
    static const auto quiet = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&,
                                                        const QString& text) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    (void)quiet;
    FrontPanelFixture f(data[0] & 1);
    f.connect();
    // With the editor open the transfer has the line: the same script then runs uploads and
    // downloads (a file to send is there) through it.
    const bool inEditor = data[0] & 2;
    f.host.inputs.settings = {f.dir.filePath("fuzz.dat"), "[Configuration]\r\nCom1 Baud=2\r\n"};
    std::size_t at = 1;
    const auto next = [&]() -> int { return at < size ? data[at++] : 0; };
    const auto script = [&] {
        while (at < size) {
            const int op = next();
            switch (op % 8) {
            case 0:
            case 1:
            case 2: { // bytes from the indicator, up to 64 at a time
                const int n = std::min<int>(1 + next() % 64, static_cast<int>(size - at));
                f.device->feed(QByteArray(reinterpret_cast<const char*>(data + at), n));
                at += static_cast<std::size_t>(n);
                break;
            }
            case 3:
                f.clock.advance(next() * 5);
                break;
            case 4:
                if (inEditor)
                    f.panel->startTransfer((next() & 1) ? TransferDirection::Upload
                                                        : TransferDirection::Download);
                else
                    f.panel->face().CommandClick(FaceModel::UnitsTag + next() % 5);
                break;
            case 5: {
                const int k = next();
                if (inEditor)
                    k & 1 ? f.panel->cancelTransfer() : f.panel->DebugAnyBusClick();
                else if (k < 10)
                    f.panel->face().TareNumberClick(FaceModel::DigitCode + k);
                else if (k < 20)
                    f.panel->face().TareNumberClick(FaceModel::PointCode);
                else if (k < 30)
                    f.panel->face().ButtonLeftClick();
                else
                    f.panel->face().ButtonEnterClick();
                break;
            }
            case 6:
                f.device->unplug();
                f.clock.runPosted();
                break;
            case 7:
                f.panel->OpenComPort();
                break;
            }
            f.clock.runPosted();
            FUZZ_CHECK(f.panel->link().ComPort().GetInBuffUsed() <= SerialChannel::ReceiveCapacity);
            FUZZ_CHECK(f.panel->link().ComPort().pendingNotifications() <= 8);
            FUZZ_CHECK(f.face().Weight.size() <= 7);
        }
    };
    if (inEditor) {
        f.host.onEditor = script;
        f.panel->F4OptionsButtonClick();
        FUZZ_CHECK(f.panel->lineOwner() == LineOwner::Polling);
    } else {
        script();
    }
    f.clock.advance(1000);
    return 0;
}
