#include "gui/databasefield.h"

#include <QRegularExpression>
#include <QStyle>
#include <algorithm>
#include <utility>
#include <vector>

namespace vexilo::gui {

namespace {

using Span = std::pair<qsizetype, qsizetype>;  // [first, end) of the characters to hide

// The end of the part of `s` that starts at `from` and stops before any of `stops`.
qsizetype partEnd(const QString& s, qsizetype from, QStringView stops) {
    while (from < s.size() && !stops.contains(s.at(from))) {
        ++from;
    }
    return from;
}

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// The password of the user part: between the first ':' and the last '@' of the authority.
void addUserPassword(const QString& s, qsizetype first, qsizetype end, std::vector<Span>& spans) {
    const QStringView authority = QStringView(s).mid(first, end - first);
    const qsizetype colon = authority.indexOf(QLatin1Char(':'));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (colon < 0 || authority.startsWith(QLatin1Char('['))) {
        return;  // no ':' yet, or an IPv6 host whose ':' are its own
    }
    if (at > colon) {
        spans.push_back({first + colon + 1, first + at});
    } else if (at < 0 && !allDigits(authority.mid(colon + 1))) {
        spans.push_back({first + colon + 1, end});  // no port: a password being typed
    }
}

// The values of "password=" parameters in the query.
void addParameterPasswords(const QString& s, qsizetype query, std::vector<Span>& spans) {
    static const QRegularExpression kParameter(QStringLiteral("[?&]password=([^&#]*)"),
                                               QRegularExpression::CaseInsensitiveOption);
    auto it = kParameter.globalMatch(s, query);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        spans.push_back({m.capturedStart(1), m.capturedEnd(1)});
    }
}

}  // namespace

QString hidePasswords(const QString& typed, QChar dot) {
    static const QRegularExpression kScheme(QStringLiteral("^\\s*postgres(ql)?://"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch scheme = kScheme.match(typed);
    if (!scheme.hasMatch()) {
        return typed;
    }
    std::vector<Span> spans;
    const qsizetype first = scheme.capturedEnd();
    const qsizetype end = partEnd(typed, first, u"/?#");
    addUserPassword(typed, first, end, spans);
    const qsizetype query = typed.indexOf(QLatin1Char('?'), end);
    if (query >= 0) {
        addParameterPasswords(typed, query, spans);
    }
    QString shown = typed;
    for (const auto& [from, to] : spans) {
        for (qsizetype i = from; i < to; ++i) {
            shown[i] = dot;
        }
    }
    return shown;
}

DatabaseField::DatabaseField(QWidget* parent) : PathField(parent) {
    connect(this, &QLineEdit::textEdited, this, &DatabaseField::takeEdit);
}

void DatabaseField::setTypedText(const QString& text) {
    m_typed = text;
    m_shown = text;
    setText(text);
}

void DatabaseField::takeEdit(const QString& shown) {
    const qsizetype cursor = cursorPosition();
    const qsizetype before = m_shown.size();
    const qsizetype now = shown.size();
    qsizetype same = 0;  // characters kept in front of the edit
    while (same < std::min({before, now, cursor}) && m_shown.at(same) == shown.at(same)) {
        ++same;
    }
    qsizetype kept = 0;  // characters kept after it
    while (kept < std::min(before - same, now - cursor) &&
           m_shown.at(before - 1 - kept) == shown.at(now - 1 - kept)) {
        ++kept;
    }
    m_typed = m_typed.left(same) + shown.mid(same, now - same - kept) + m_typed.right(kept);
    const QChar dot(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, this));
    m_shown = hidePasswords(m_typed, dot);
    if (m_shown != shown) {
        setText(m_shown);
        setCursorPosition(int(cursor));
    }
}

}  // namespace vexilo::gui
