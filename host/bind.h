#pragma once
// Binds a page's rows to its controls: each request row to its button's click
// and the one send path, each reader row to its reply code.

#include "host/makers.h"
#include "host/page_host.h"
#include "host/provenance.h"
#include "host/reply.h"
#include "host/request.h"
#include "host/request_cycle.h"

#include <QPushButton>
#include <QString>

#include <map>
#include <span>
#include <stdexcept>
#include <string>

namespace host {

// The request buttons a page made, by object name.
class Buttons {
public:
    QPushButton* make(const char* name, const QString& caption);
    // The button made under `name`; a row naming a button the page did not
    // make is a programming error (std::logic_error at start-up).
    QPushButton* operator[](const char* name) const;

private:
    std::map<std::string, QPushButton*> byName_;
};

// Sends `row` now, reading `controls` as its steps need them. A SET whose
// settings were not kept throws before anything happens.
template <class C> void sendRow(RequestCycle& cycle, const RequestRow<C>& row, const C& controls) {
    if (row.keep) {
        Keep keep(cycle.provenance());
        row.keep(controls, keep);
    }
    const bool sent = cycle.send(
        row.spec(),
        [&] {
            if (row.clears) row.clears(controls);
        },
        [&](Payload& p) {
            if (row.data) row.data(controls, p);
        });
    if (sent && row.sent) row.sent(controls);
}

template <class C>
void bindRequests(PageHost& host, const Buttons& buttons, const C& controls,
                  std::span<const RequestRow<C>> rows) {
    for (const RequestRow<C>& row : rows) {
        QPushButton* button = buttons[row.button];
        host.cycle().addRequest(row.replyCode);
        if (row.gate == PortGate::WithPort) host.portDependent(button);
        host.onClick(button, [&host, &row, controls] {
            if (row.when && !row.when(controls)) return; // another row of the button sends
            // After a background request in flight, never alongside it.
            std::function<void()> send = [&host, &row, controls] {
                host.cycle().whenIdle([&host, &row, controls] {
                    sendRow(host.cycle(), row, controls);
                });
            };
            if (row.question)
                send = [&host, &row, send = std::move(send)] {
                    host.confirm(row.question->name, QString::fromUtf8(row.question->text),
                                 QString::fromUtf8(row.question->yes), send);
                };
            if (row.maker)
                host.whenMakerAgrees(*row.maker, send);
            else
                send();
        });
    }
}

template <class C>
void bindReaders(PageHost& host, const C& controls, std::span<const ReaderRow<C>> rows) {
    for (const ReaderRow<C>& row : rows) {
        ReaderSpec spec{row.replyCode,
                        row.reads,
                        row.scan,
                        row.failureText,
                        [&row, controls](const Reply& r) { row.fill(controls, r); },
                        nullptr,
                        nullptr,
                        row.successText,
                        row.judgesResponseCode};
        if (row.failed) spec.failed = [&row, controls] { row.failed(controls); };
        if (row.accept) spec.accept = row.accept;
        host.cycle().addReader(std::move(spec));
    }
}

} // namespace host
