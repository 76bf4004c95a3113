#pragma once
// Failures of the forms engine. Both carry only a message.

#include <QString>
#include <stdexcept>

namespace pm {

class EDFError : public std::runtime_error {
public:
    explicit EDFError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

class EDFDatasetError : public EDFError {
public:
    using EDFError::EDFError;
};

} // namespace pm
