#pragma once
// The thin adapter between a Qt socket and the byte-fed receiver: what the
// socket delivers goes into the receiver, and every complete item comes out
// as a signal. A new connection starts the receiver afresh.

#include "session/protocol.h"

#include <QObject>
#include <QAbstractSocket>
#include <QPointer>


namespace pm {

class TReceiverLink : public QObject {
    Q_OBJECT
public:
    TReceiverLink(QAbstractSocket* socket, TMessageReceiver::Role role, QObject* parent = nullptr,
                  bool encrypt = kMessageEncryption);

    TMessageReceiver& Receiver() { return receiver_; }
    QAbstractSocket* Socket() const { return socket_; }

    // Reads what is waiting and hands on every complete item (the read
    // handler; the session's timer may call it too).
    void Pump();

Q_SIGNALS:
    void messageReceived(quint16 type, const QByteArray& payload);
    // The body is deciphered, still compressed.
    void streamReceived(quint16 type, const QByteArray& body);
    // rtEnd or rtClose arrived.
    void closeRequested(quint16 type);
    // The session failed with this text; the connection is closed right after.
    void sessionFailed(const QString& text);
    // A payload or body did not decipher ("Invalid Base64 Character",
    // "Invalid file format"); the connection stays open.
    void cipherFailed(const QString& text);

private:
    QPointer<QAbstractSocket> socket_;
    TMessageReceiver receiver_;
    bool pumping_ = false;
};

} // namespace pm
