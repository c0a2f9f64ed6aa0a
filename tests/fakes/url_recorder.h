// Stands in for the browser: a URL handler for "http"/"https" that records what
// would have been opened.
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace orvandel::test {

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

}  // namespace orvandel::test
