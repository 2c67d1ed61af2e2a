#include "shell/ui/quorbit_doc.h"

// Creating, loading and storing the document do only the framework's default work.
CQuorbitDoc::CQuorbitDoc(QObject* parent) : QObject(parent) {}
