# What makes a cold build cheaper on a small machine, with the same code and checks.

# Links: a build with debug info links some sixty executables against Qt, and Debian's mold
# does each in a fraction of the default linker's time. -DKX_LINKER=default keeps the
# system's linker; lld works too.
set(KX_LINKER mold CACHE STRING "Linker for -fuse-ld (mold, lld), or default")
if(NOT KX_LINKER STREQUAL "default")
  find_program(KX_LINKER_PROGRAM ld.${KX_LINKER})
  if(KX_LINKER_PROGRAM)
    add_link_options(-fuse-ld=${KX_LINKER})
  else()
    message(STATUS "ld.${KX_LINKER} not found (scripts/deps.sh installs mold); default linker")
  endif()
endif()

# Qt's headers are most of what every file compiles. Each library reads them once, into a
# precompiled header; the tests, which share one set of flags, share one. Sources still
# include what they use: -DKX_PCH=OFF builds without, and shows a missing include.
set(KX_PCH_CORE
    <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QList> <QLoggingCategory> <QObject>
    <QString> <QStringList> <QTimer> <QVariant>
    <algorithm> <chrono> <functional> <memory> <optional> <vector>)
set(KX_PCH_UI ${KX_PCH_CORE}
    <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFormLayout> <QGroupBox> <QHBoxLayout>
    <QLabel> <QLineEdit> <QMessageBox> <QPushButton> <QVBoxLayout> <QWidget>)
set(KX_PCH_TEST ${KX_PCH_UI} <QProcess> <QSignalSpy> <QTemporaryDir> <QTest>)
option(KX_PCH "Precompile Qt's headers" ON)

# kx_precompile(target CORE|UI|TEST): the target's own precompiled header of that set.
function(kx_precompile target set)
  if(KX_PCH)
    target_precompile_headers(${target} PRIVATE ${KX_PCH_${set}})
  endif()
endfunction()

# kx_precompile_shared(target owner): the target uses owner's precompiled header (same flags).
function(kx_precompile_shared target owner)
  if(KX_PCH)
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endif()
endfunction()
