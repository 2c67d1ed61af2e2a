// Catches every message Qt would print (QSettings warnings included), so that a test can require none.
#pragma once

#include <QString>
#include <QtGlobal>

#include <string>
#include <vector>

inline std::vector<std::string>& QtMessages() {
    static std::vector<std::string> messages;
    return messages;
}

inline void CollectMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    QtMessages().push_back(text.toStdString());
}
