#pragma once
#include <QObject>
#include <memory>

class LoginTest : public QObject {
    Q_OBJECT
private slots:
    void secondWrongPasswordOnlyWarnsThirdCloses();
    void passwordsCompareCaseSensitively();
    void emptyPasswordLogsInWithEmptyField();
    void autoLoginRemembersAndStalePasswordShowsDialog();
    void lockDialogHasNoAttemptLimit();
};

class RightsTest : public QObject {
    Q_OBJECT
private slots:
    void viewUserPresetLacksCheckTime();
    void levelPresetsAndOptionBits();
    void administratorWithoutExitRightCannotLeave();
    void deletingOwnAccountIsRefused();
    void afterLogoutCheckRightOffersLoginSilently();
    void accountFormRefusesEmptyNameAndMismatch();
    void duplicateAccountReportsFailure();
};

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void viewItem6StoresResolution();
    void freshConfigOpensAt1024x720();
    void importWhileChannelPlaysChangesNothing();
    void importAndExportNeedAdministrator();
    void statusTickReachesTheWindowAsMessage();
    void toolbarPageOrder();
    void exitWritesLogsAndCloses();
    void systemInfoRoundTripsAndDamageReadsAsZero();
};

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void secondInstanceIsRefused();
    void crashLinesAreShownOnce();
    void loadingSplashTicksAndCreatesService();
    void wavFilesAreValidated();
    void terminationSignalsReachTheUiThreadOnce();
};

class StatusTest : public QObject {
    Q_OBJECT
private slots:
    void timeSyncMarksEveryChannelAtCheckTime();
    void dayChangeAndLogPruning();
    void networkMeterBoundaries();
};

class RealPlayTest : public QObject {
    Q_OBJECT
private slots:
    void opensAtStartAndDecodesNothingWhileHidden();
    void treeDoubleClickOpensIntoTheSelectedCellAndLabelsIt();
    void splitChoiceIsAppliedRememberedAndReusedAtTheNextStart();
    void doubleClickMaximisesAndPausesOthersThenRestores();
    void dragFromOneCellToAnotherSwapsThem();
    void fullScreenTakesThePanelOutAndEscapeBringsItBack();
    void dropFromTheTreeOpensMovesOrShowsTheGroup();
};
