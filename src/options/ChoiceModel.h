#pragma once

#include "Choices.h"
#include "Options.h"
#include "QslDateFile.h"

// The form's choices and the per-slot values they are made from, without any widget: the
// form view and the batch command both hold one. Slots are numbered 1 to 5.
class ChoiceModel
{
public:
    // Works out each slot's login call and download-call label from the options and sets the
    // initial choices (signing slot 1, download call 1, not any call).
    explicit ChoiceModel(const Options& options);

    QString oprCall(int slot) const;
    QString location(int slot) const;
    QString slotLoginCall(int slot) const;
    QString downloadCallLabel(int slot) const;
    // The slot's password: the one in force when not empty (a password typed anew at this
    // start), otherwise the loaded one when not empty, otherwise the dialog's field.
    QString password(int slot) const;
    // Whether the form has a signing / download-call button for the slot.
    bool hasSigningButton(int slot) const;
    bool hasDownloadButton(int slot) const;

    // The clicks of the form's choice buttons.
    void chooseSigningSlot(int slot);
    void chooseAnyCall();
    void chooseDownloadSlot(int slot);
    void chooseReportRange(int index); // 0 "Download ALL QSLs", 1 "Only fm last QSL >"
    void chooseImportScope(int index);
    void chooseOverwrite(int index);

    // Takes the saved date and radio indices; writes them back for saving.
    void applySaved(const SavedQslDates& dates);
    SavedQslDates saved() const;

    Choices& choices() { return m_choices; }
    const Choices& choices() const { return m_choices; }

private:
    Options m_options;
    QString m_slotLoginCall[kSlotCount];
    QString m_downloadCallLabel[kSlotCount];
    Choices m_choices;
};
