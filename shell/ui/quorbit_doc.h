// CQuorbitDoc: the program's one document. It carries no data: the view reads everything from disk.
#pragma once

#include <QObject>

class CQuorbitDoc : public QObject {
    Q_OBJECT
public:
    explicit CQuorbitDoc(QObject* parent = nullptr);
};
