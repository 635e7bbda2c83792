#include "passes/passend.h"

#include "core/progress.h"
#include "platform/errors.h"

namespace vexilo::passes {

namespace {

// The walk when an observer listens: a stop is told to it with the offset of the element it ended at
// (the damaged element, the text element whose treatment stopped, or else the next unread one).
void walkTellingStops(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3,
                      const drawing::TextHandler& onText, const drawing::ProgressHook& progress) {
    std::int64_t current = -1;
    try {
        drawing::walk(
            file1, file3,
            [&](drawing::Element& e) {
                current = e.offset;
                onText(e);
                current = -1;
            },
            progress);
    } catch (const drawing::CorruptFile& damage) {
        f.textObserver->stoppedAt(damage.offset());
        throw;
    } catch (const platform::Stop&) {
        f.textObserver->stoppedAt(current >= 0 ? current : file1.position());
        throw;
    }
}

}  // namespace

void runPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3,
             const drawing::TextHandler& onText) {
    f.TextosProcesados = 0;
    const drawing::ProgressHook progress = [&f](std::int64_t lo, std::int64_t pos) {
        if (f.display->interrupted()) {
            throw platform::Interrupted();
        }
        core::reportProgress(f, lo, pos);
    };
    if (f.textObserver == nullptr) {
        drawing::walk(file1, file3, onText, progress);
    } else {
        walkTellingStops(f, file1, file3, onText, progress);
    }
    endPass(f, file1, file3);
}

void endPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3) {
    file1.close();
    file3.sync();
    if (f.beforeCommit) {
        f.beforeCommit();
    }
    f.r.reset();
    if (f.Bd) {
        f.Bd->Close();
        f.Bd.reset();
    }
    f.display->setText(core::Control::Label2, QStringLiteral("Textos Procesados : "));
    f.display->setText(core::Control::Text1, QString::number(f.TextosProcesados));
}

}  // namespace vexilo::passes
