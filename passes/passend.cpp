#include "passes/passend.h"

#include "core/errors.h"
#include "core/progress.h"

namespace vexilo::passes {

namespace {

// The walk when an observer listens: a stop is told to it with the offset of the element it ended at
// (the damaged element, the text element whose treatment stopped, or else the next unread one).
void walkTellingStops(PassView& view, drawing::BinReader& file1, drawing::BinWriter& file3,
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
        view.observer->stoppedAt(damage.offset());
        throw;
    } catch (const core::Stop&) {
        view.observer->stoppedAt(current >= 0 ? current : file1.position());
        throw;
    }
}

}  // namespace

void runPass(PassView& view, drawing::BinReader& file1, drawing::BinWriter& file3,
             const drawing::TextHandler& onText) {
    view.TextosProcesados = 0;
    const drawing::ProgressHook progress = [&view](std::int64_t lo, std::int64_t pos) {
        if (view.display().interrupted()) {
            throw core::Interrupted();
        }
        core::reportProgress(view.progress, lo, pos);
    };
    if (view.observer == nullptr) {
        drawing::walk(file1, file3, onText, progress);
    } else {
        walkTellingStops(view, file1, file3, onText, progress);
    }
    endPass(view, file1, file3);
}

void endPass(PassView& view, drawing::BinReader& file1, drawing::BinWriter& file3) {
    file1.close();
    file3.sync();
    view.display().setText(core::Control::Label2, QStringLiteral("Textos Procesados : "));
    view.display().setText(core::Control::Text1, QString::number(view.TextosProcesados));
}

}  // namespace vexilo::passes
