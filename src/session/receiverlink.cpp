#include "session/receiverlink.h"

#include <QAbstractSocket>

namespace pm {

TReceiverLink::TReceiverLink(QAbstractSocket* socket, TMessageReceiver::Role role, QObject* parent,
                             bool encrypt)
    : QObject(parent), socket_(socket), receiver_(role, encrypt)
{
    connect(socket, &QAbstractSocket::readyRead, this, &TReceiverLink::Pump);
    connect(socket, &QAbstractSocket::connected, this, [this] { receiver_.Reset(); });
}

void TReceiverLink::Pump()
{
    if (pumping_ || !socket_)
        return;
    pumping_ = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{pumping_};

    // What arrived before the peer closed the connection is still read.
    auto readable = [this] {
        return socket_ && (socket_->state() == QAbstractSocket::ConnectedState || socket_->bytesAvailable() > 0);
    };
    while (readable()) {
        receiver_.Feed(socket_->readAll());
        for (;;) {
            TReceivedItem item;
            try {
                if (!receiver_.Next(item))
                    break;
            } catch (const ECipherException& e) {
                const bool wasConnected = socket_->state() == QAbstractSocket::ConnectedState;
                Q_EMIT cipherFailed(e.Message());
                if (!socket_ || (wasConnected && socket_->state() != QAbstractSocket::ConnectedState))
                    return;
                continue;
            }
            const bool wasConnected = socket_->state() == QAbstractSocket::ConnectedState;
            switch (item.kind) {
            case TReceivedItem::Message:
                Q_EMIT messageReceived(item.type, item.data);
                break;
            case TReceivedItem::Stream:
                Q_EMIT streamReceived(item.type, item.data);
                break;
            case TReceivedItem::Close:
                Q_EMIT closeRequested(item.type);
                return;
            case TReceivedItem::Failure:
                // Logged first, then the connection goes; what is left of it
                // is never read.
                Q_EMIT sessionFailed(item.error);
                if (socket_)
                    socket_->abort();
                return;
            }
            // A handler that closed the connection ends the reading.
            if (!socket_ || (wasConnected && socket_->state() != QAbstractSocket::ConnectedState))
                return;
        }
        // Bytes that arrived while the handlers ran are read in the same turn.
        if (!socket_ || socket_->bytesAvailable() == 0)
            return;
    }
}

} // namespace pm
