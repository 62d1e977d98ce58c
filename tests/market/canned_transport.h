// A transport that answers from a list instead of the network and keeps the requests it was given.
#pragma once

#include <deque>
#include <vector>

#include "market/http.h"
#include "market/quotes.h"
#include "market/web.h"

class CannedTransport : public HttpTransport {
public:
    // Canned failures take no service down for the cases that follow.
    CannedTransport()
    {
        SetHttpTransport(this);
        ForgetOutages();
    }
    ~CannedTransport() override
    {
        SetHttpTransport(nullptr);
        ForgetOutages();
    }
    static void ForgetOutages()
    {
        ForgetServiceOutage(QuoteService());
        ForgetServiceOutage(DataService());
    }

    // The next answer: a whole reply with these bytes.
    void Reply(const QByteArray &bytes) { m_answers.push_back(HttpResponse{true, bytes, QString()}); }
    // The next answer: no reply at all.
    void Fail() { m_answers.push_back(HttpResponse{false, QByteArray(), QStringLiteral("canned failure")}); }

    HttpResponse Post(const HttpRequest &request) override
    {
        requests.push_back(request);
        if (m_answers.empty())
            return HttpResponse{false, QByteArray(), QStringLiteral("no canned answer")};
        HttpResponse r = m_answers.front();
        m_answers.pop_front();
        return r;
    }

    std::vector<HttpRequest> requests;

private:
    std::deque<HttpResponse> m_answers;
};
