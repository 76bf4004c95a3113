#include "session/receiverlink.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

using namespace pm;

namespace {

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "SessionTests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

struct Received {
    QStringList texts;
    bool closeRequested = false;
    bool disconnected = false;
};

// A peer that sends `bytes` at once on connection, then optionally closes.
Received Exchange(const QByteArray& bytes, bool peerCloses, const QString& stopAt)
{
    EnsureApp();
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write(bytes);
        if (peerCloses)
            peer->disconnectFromHost();
    });
    Received r;
    QTcpSocket socket;
    TReceiverLink link(&socket, TMessageReceiver::Role::Client);
    QObject::connect(&link, &TReceiverLink::messageReceived, [&](quint16, const QByteArray& p) {
        r.texts << ParseTextPayload(p);
        if (r.texts.last() == stopAt)
            socket.close();   // as a refused login does
    });
    QObject::connect(&link, &TReceiverLink::closeRequested, [&](quint16) { r.closeRequested = true; });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { r.disconnected = true; });
    socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QElapsedTimer timer;
    timer.start();
    while (!r.disconnected && !r.closeRequested && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return r;
}

} // namespace

TEST(SessionReceiverLink, HandlerClosingTheConnectionEndsTheReading)
{
    const TCipherKey key = DeriveKey();
    const QByteArray bytes = FrameMessage(rtText, TextPayload("one"), key)
                             + FrameMessage(rtText, TextPayload("stop"), key)
                             + FrameMessage(rtText, TextPayload("three"), key)
                             + FrameMessage(rtEnd, QByteArray(), key);
    const Received r = Exchange(bytes, false, "stop");
    EXPECT_EQ(r.texts, (QStringList{"one", "stop"}));
    EXPECT_FALSE(r.closeRequested);
}

TEST(SessionReceiverLink, WhatArrivedBeforeThePeerClosedIsRead)
{
    const TCipherKey key = DeriveKey();
    QByteArray bytes;
    for (int i = 0; i < 20; ++i)
        bytes += FrameMessage(rtText, TextPayload(QString::number(i)), key);
    bytes += FrameMessage(rtEnd, QByteArray(), key);
    const Received r = Exchange(bytes, true, QString());
    EXPECT_EQ(r.texts.size(), 20);
    EXPECT_TRUE(r.closeRequested);
}

TEST(SessionReceiverLink, SendingOnAClosedSocketReportsIt)
{
    EnsureApp();
    QTcpSocket socket;
    const TCipherKey key = DeriveKey();
    EXPECT_FALSE(SendMessage(socket, rtEnd, QByteArray(), key));
    EXPECT_FALSE(SendStream(socket, rtReportHeader, "content", key));
    EXPECT_THROW(SendMessage(socket, 28, QByteArray(), key), EProtocolError);
}
