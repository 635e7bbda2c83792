#pragma once
// A Display for tests: remembers everything the job showed, in order.

#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "core/display.h"

namespace vexilo::testing {

class RecordingDisplay : public core::Display {
  public:
    struct Message {
        QString text;
        core::Icon icon;
    };

    void setText(core::Control control, const QString& text) override {
        texts[control] = text;
        ++textWrites[control];
    }
    void setProgress(int value) override { progress.push_back(value); }
    void setFinishedVisible(bool visible) override { finishedVisible = visible; }
    void setPointer(core::MousePointer p) override { pointers.push_back(p); }
    void message(const QString& text, core::Icon icon) override { messages.push_back({text, icon}); }
    void notice(const QString& text) override {
        notices.push_back(text);
        core::Display::notice(text);
        if (onNotice) {
            onNotice(text);
        }
    }

    bool interrupted() override { return askedToEnd ? askedToEnd() : false; }

    QString text(core::Control c) const {
        auto it = texts.find(c);
        return it == texts.end() ? QString() : it->second;
    }

    std::map<core::Control, QString> texts;
    std::map<core::Control, int> textWrites;
    std::vector<int> progress;
    std::vector<core::MousePointer> pointers;
    std::vector<Message> messages;
    std::vector<QString> notices;
    std::function<void(const QString&)> onNotice;  // a test's own step when the job gives a notice
    std::function<bool()> askedToEnd;              // the face's answer whenever the job asks to go on
    bool finishedVisible = false;
};

}  // namespace vexilo::testing
