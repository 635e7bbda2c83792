#include "engines/pgwatchdog.h"

#include <poll.h>
#include <sys/socket.h>

#include <vector>

namespace vexilo::engines {

namespace {

constexpr std::chrono::milliseconds kTick{100};

std::map<std::string, std::string> optionsOf(PGconn* conn) {
    std::map<std::string, std::string> options;
    PQconninfoOption* info = PQconninfo(conn);
    for (const PQconninfoOption* o = info; o != nullptr && o->keyword != nullptr; ++o) {
        if (o->val != nullptr && *o->val != '\0') {
            options[o->keyword] = o->val;
        }
    }
    PQconninfoFree(info);
    options["connect_timeout"] = std::to_string(PgWatchdog::kAnswerTime.count());
    options["application_name"] = "vexilo-watchdog";
    return options;
}

// Waits for the side connection's answer without blocking past the answer time.
bool awaitAnswer(PGconn* side) {
    const auto deadline = std::chrono::steady_clock::now() + PgWatchdog::kAnswerTime;
    while (PQisBusy(side)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{PQsocket(side), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0 || PQconsumeInput(side) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

PgWatchdog::PgWatchdog(PGconn* conn, WaitState& state)
    : m_options(optionsOf(conn)),
      m_pid(PQbackendPID(conn)),
      m_socket(PQsocket(conn)),
      m_state(state),
      m_thread([this] { watch(); }) {}

PgWatchdog::~PgWatchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    PQfinish(m_side);
}

void PgWatchdog::watch() {
    std::unique_lock lock(m_mutex);
    auto nextLook = WaitState::Clock::now();
    Why why = Why::Working;
    while (!m_wake.wait_for(lock, kTick, [this] { return m_stop.load(); })) {
        const std::chrono::milliseconds running = m_state.running();
        if (running < WaitState::kNoticeAfter) {
            why = Why::Working;
            continue;
        }
        if (WaitState::Clock::now() >= nextLook) {
            lock.unlock();
            why = whyItRuns();
            lock.lock();
            nextLook = WaitState::Clock::now() + std::chrono::seconds(1);
        }
        if (why == Why::Working) {
            continue;
        }
        m_state.announce();
        if (running >= m_state.notice().limit && !m_state.cutShort()) {
            m_state.markCut();
            ::shutdown(m_socket, SHUT_RDWR);
        }
    }
}

PgWatchdog::Why PgWatchdog::whyItRuns() {
    const std::string sql =
        "SELECT wait_event_type FROM pg_catalog.pg_stat_activity WHERE pid = " + std::to_string(m_pid);
    std::string answer;
    switch (ask(sql.c_str(), answer)) {
        case Answer::None:
            return Why::Silent;
        case Answer::Unknown:
            return Why::Working;
        case Answer::Given:
            break;
    }
    return answer == "Lock" ? Why::Lock : Why::Working;
}

PgWatchdog::Answer PgWatchdog::ask(const char* sql, std::string& answer) {
    if (m_side == nullptr || PQstatus(m_side) != CONNECTION_OK) {
        PQfinish(m_side);
        std::vector<const char*> keys;
        std::vector<const char*> values;
        for (const auto& [k, v] : m_options) {
            keys.push_back(k.c_str());
            values.push_back(v.c_str());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
        m_side = PQconnectdbParams(keys.data(), values.data(), 0);
        if (PQstatus(m_side) != CONNECTION_OK) {
            // A server that refuses one more connection still answers; only one that says nothing at
            // all within the time is silent.
            const bool silent = PQpingParams(keys.data(), values.data(), 0) == PQPING_NO_RESPONSE;
            PQfinish(m_side);
            m_side = nullptr;
            return silent ? Answer::None : Answer::Unknown;
        }
        PQsetnonblocking(m_side, 1);
    }
    if (PQsendQuery(m_side, sql) == 0 || PQflush(m_side) != 0 || !awaitAnswer(m_side)) {
        PQfinish(m_side);
        m_side = nullptr;
        return Answer::None;
    }
    answer.clear();
    while (PGresult* r = PQgetResult(m_side)) {
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0)) {
            answer = PQgetvalue(r, 0, 0);
        }
        PQclear(r);
    }
    return Answer::Given;
}

}  // namespace vexilo::engines
