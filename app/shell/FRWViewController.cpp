#include "FRWViewController.h"

FRWViewController::FRWViewController(QObject* parent) : QObject(parent)
{
}

FRWViewController::~FRWViewController()
{
    delete m_view.data();
}

QWidget* FRWViewController::view()
{
    if (!m_view && !m_loading) {
        // Guards against a subclass that asks for its own view while building it.
        m_loading = true;
        loadView();
        if (!m_view) {
            setView(new QWidget);
        }
        viewDidLoad();
        m_loading = false;
    }
    return m_view;
}

void FRWViewController::loadView()
{
    setView(new QWidget);
}

void FRWViewController::setView(QWidget* view)
{
    m_view = view;
}
