#include "app/vantrel_doc.h"

#include "app/child_frame.h"

void CVantrelDoc::SetTitle(const std::string& title)
{
    title_ = title;
    if (frame_) {
        frame_->setWindowTitle(QString::fromUtf8(title.c_str()));
        frame_->SetDocumentPath(title);
    }
}
