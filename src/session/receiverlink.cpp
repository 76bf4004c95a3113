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

    for (;;) {
        if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray bytes = socket_->readAll();
        receiver_.Feed(bytes);
        bool progressed = false;
        for (;;) {
            TReceivedItem item;
            try {
                if (!receiver_.Next(item))
                    break;
            } catch (const ECipherException& e) {
                Q_EMIT cipherFailed(e.Message());
                progressed = true;
                continue;
            }
            progressed = true;
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
                // Logged first, then the connection goes.
                Q_EMIT sessionFailed(item.error);
                if (socket_)
                    socket_->abort();
                return;
            }
            if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
                return;
        }
        if (!progressed && (!socket_ || socket_->bytesAvailable() == 0))
            return;
        if (socket_ && socket_->bytesAvailable() == 0)
            return;
    }
}

} // namespace pm
