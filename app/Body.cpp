#include "Body.h"

#include <QCloseEvent>
#include <QDebug>
#include <QThread>

Body::Body(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
    qRegisterMetaType<BatchCmd>("BatchCmd");

    connect(this, &Body::callBatchLoad, &batch, &Batch::batchLoad);
    connect(this, &Body::callBatchExec, &batch, &Batch::batchExec);
    connect(this, &Body::callBatchCheckEnd, &batch, &Batch::batchCheckEnd);
    connect(&batch, &Batch::batchExCmd, this, &Body::batchExCmd);
    connect(this, &Body::batchCalcFinished, this, &Body::callBatchCheckEnd);
    connect(&batch, &Batch::batchStopped, this, &Body::batchProgramStopped);

    batchThread = new QThread;
    batchThread->setObjectName("batchThread");
    batch.moveToThread(batchThread);
    batchThread->start(QThread::InheritPriority);
}

Body::~Body()
{
    stopThreads();
}

void Body::stopThreads()
{
    if (batchThread) {
        batchThread->quit();
        batchThread->wait();
        delete batchThread;
        batchThread = nullptr;
    }
}

void Body::batchExCmd(BatchCmd cmd)
{
    qDebug().noquote() << "body-cmd" << cmd.cmd;
    emit callBatchCheckEnd();
}

void Body::batchLoad(QString fname)
{
    emit callBatchLoad(fname);
}

void Body::batchExec()
{
    emit callBatchExec();
}

void Body::closeEvent(QCloseEvent* e)
{
    emit finishing();
    e->accept();
}
