#pragma once
// Window services for tests: dialogs answered from a queue ("the next file name is ..."), messages,
// pointer changes and the end of the process recorded instead of shown, a clock the test sets, and a
// settings store in an INI file of its own (never the user's settings). Files are deleted for real
// unless the test asks the next deletion to fail.

#include <QDateTime>
#include <QTemporaryDir>
#include <deque>
#include <optional>
#include <vector>

#include "desktop/services.h"

namespace vexilo::testing {

class TestClock : public core::Clock {
  public:
    double secondsSinceMidnight() override { return seconds; }
    QDateTime now() override { return dateTime; }

    double seconds = 36000.0;  // ten in the morning
    QDateTime dateTime{QDate(2024, 3, 15), QTime(10, 0)};
};

class TestServices : public desktop::Services {
  public:
    struct Message {
        QString text;
        core::Icon icon;
        QString detail;
    };

    TestServices() : m_settings(m_settingsFile) {}

    // The next dialog answers with this file; its bare name is the file title unless given.
    void nextFile(const QString& path, std::optional<QString> title = std::nullopt) {
        m_answers.push_back({path, title ? *title : path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)});
    }
    // The next dialog is cancelled.
    void nextCancel() { m_answers.push_back({}); }
    // The next yes/no question is answered with this (unanswered questions get No).
    void nextQuestionAnswer(bool yes) { m_questionAnswers.push_back(yes); }
    // The next deletion fails with this error.
    void failNextDelete(int number, const QString& description) { m_deleteFailure = {number, description}; }

    desktop::OpenFileResult showOpen(const desktop::OpenFileRequest& request) override {
        dialogs.push_back(request);
        if (m_answers.empty()) {
            return {};  // nobody said what to answer: the user cancels
        }
        auto answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void messageBox(const QString& text, core::Icon icon, const QString& detail) override {
        messages.push_back({text, icon, detail});
    }
    bool question(const QString& text, desktop::Answer byDefault) override {
        questions.push_back(text);
        questionDefaults.push_back(byDefault);
        if (m_questionAnswers.empty()) {
            return false;
        }
        const bool yes = m_questionAnswers.front();
        m_questionAnswers.pop_front();
        return yes;
    }
    void setMousePointer(core::MousePointer pointer) override { pointers.push_back(pointer); }
    void end(int code) override { exitCode = code; }
    desktop::SettingsStore& settings() override { return m_settings; }
    core::Clock& clock() override { return clockOverride ? *clockOverride : clockSeam; }
    void deleteFile(const QString& path) override {
        deletions.push_back(path);
        if (m_deleteFailure) {
            auto failure = *m_deleteFailure;
            m_deleteFailure.reset();
            throw core::RunError(failure.first, failure.second);
        }
        desktop::Services::deleteFile(path);
    }

    const QString& settingsFile() const { return m_settingsFile; }
    QString dirPath() const { return m_dir.path(); }

    std::vector<desktop::OpenFileRequest> dialogs;
    std::vector<Message> messages;
    std::vector<QString> questions;
    std::vector<desktop::Answer> questionDefaults;  // the button Return pressed, one per question
    std::vector<core::MousePointer> pointers;
    std::vector<QString> deletions;
    std::optional<int> exitCode;
    TestClock clockSeam;
    core::Clock* clockOverride = nullptr;  // a clock of the test's own, when set

  private:
    QTemporaryDir m_dir;
    QString m_settingsFile = m_dir.filePath(QStringLiteral("settings.ini"));
    desktop::QSettingsStore m_settings;
    std::deque<desktop::OpenFileResult> m_answers;
    std::deque<bool> m_questionAnswers;
    std::optional<std::pair<int, QString>> m_deleteFailure;
};

}  // namespace vexilo::testing
