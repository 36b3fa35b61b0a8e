#pragma once

#include <QByteArray>
#include <QString>

// The request composed for one site of a run: what the run hands to a transfer slot.
struct SubmissionRequest
{
    QString siteName;
    QString method;          // the catalogue's method, lower-cased
    QString url;             // the catalogue's target URL, unchanged
    QString data;            // the template with the profile's values filled in
    QString requestTemplate; // the catalogue's template, as stored

    bool isPost() const { return method == QStringLiteral("post"); }
};

// What goes over the wire for a request: a POST of the data to the target URL, or a GET of the
// target URL followed by "?" and the data. Both carry the form content type.
struct TransferRequest
{
    bool post = false;
    QByteArray url;  // exactly the bytes of the request target, as sent
    QByteArray body; // empty for a GET
    static inline const QByteArray contentType = QByteArrayLiteral("application/x-www-form-urlencoded");

    static TransferRequest from(const SubmissionRequest& request);
};
