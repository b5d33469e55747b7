#pragma once
// The main window: owns every panel, worker and the batch interpreter.
#include "Batch.h"
#include "BatchCmd.h"
#include "ui_Body.h"

#include <QFrame>

class QThread;

class Body : public QFrame, private Ui_Body
{
    Q_OBJECT
public:
    explicit Body(QWidget* parent = nullptr);
    ~Body() override;

    Batch* batchInterpreter() { return &batch; }

signals:
    void batchCalcStart();
    void batchCalcFinished();
    void finishing();
    void finishedLoadingCTFiles();
    void calcFinished();
    void callBatchLoad(QString fname);
    void callBatchExec();
    void callBatchCheckEnd();
    // Relayed from the interpreter: the batch program stopped running.
    void batchProgramStopped();

private slots:
    void batchExCmd(BatchCmd cmd);

public slots:
    void batchLoad(QString fname);
    void batchExec();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void stopThreads();

    Batch batch;
    QThread* batchThread = nullptr;
};
