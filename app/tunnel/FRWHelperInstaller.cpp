#include "FRWHelperInstaller.h"

#include <QFileInfo>
#include <QStringList>

#include "FRWHelperUnits.h"
#include "FRWNames.h"
#include "FRWSignature.h"

namespace {

QString withNewline(QString text)
{
    if (!text.endsWith(u'\n')) {
        text += u'\n';
    }
    return text;
}

QString directoryOf(const QString& path)
{
    return QFileInfo(path).path();
}

/// A bash function that checks a file's signature trailer with the openssl command: the
/// identifier and its length, then the Ed25519 signature over everything before the signature.
QString verifyFunction(const FRWHelperLayout& layout, const QString& publicKeyPem)
{
    using namespace ferrow::signature;
    const QString q_openssl = FRWHelperInstaller::shellQuoted(layout.opensslPath);
    const int fixed = static_cast<int>(kFixedTrailerSize);
    const int tail = static_cast<int>(kSignatureSize + kMagic.size());
    QStringList lines{
        QStringLiteral("ferrow_verify() {"),
        QStringLiteral("  local file=$1 identifier=$2 size length work status"),
        QStringLiteral("  size=$(stat -c %s -- \"$file\") || return 1"),
        QStringLiteral("  [ \"$size\" -gt %1 ] || return 1").arg(fixed),
        QStringLiteral("  [ \"$(tail -c %1 -- \"$file\")\" = %2 ] || return 1")
            .arg(kMagic.size())
            .arg(FRWHelperInstaller::shellQuoted(QString::fromLatin1(kMagic.data(), kMagic.size()))),
        QStringLiteral(
            "  length=$(tail -c %1 -- \"$file\" | head -c 4 | od -An -tu4 --endian=little | tr -d ' ')")
            .arg(fixed),
        QStringLiteral("  [ \"$length\" = \"${#identifier}\" ] || return 1"),
        QStringLiteral(
            "  [ \"$(tail -c $((%1 + length)) -- \"$file\" | head -c \"$length\")\" = \"$identifier\" ] "
            "|| return 1")
            .arg(fixed),
        QStringLiteral("  work=$(mktemp -d) || return 1"),
        QStringLiteral("  head -c $((size - %1)) -- \"$file\" > \"$work/message\"").arg(tail),
        QStringLiteral("  tail -c %1 -- \"$file\" | head -c %2 > \"$work/signature\"")
            .arg(tail)
            .arg(kSignatureSize),
        QStringLiteral("  cat > \"$work/key.pem\" <<'FERROW_KEY_END'"),
        withNewline(publicKeyPem) + QStringLiteral("FERROW_KEY_END"),
        QStringLiteral("  %1 pkeyutl -verify -pubin -inkey \"$work/key.pem\" -rawin -in \"$work/message\" "
                       "-sigfile \"$work/signature\" > /dev/null 2>&1")
            .arg(q_openssl),
        QStringLiteral("  status=$?"),
        QStringLiteral("  rm -rf -- \"$work\""),
        QStringLiteral("  return $status"),
        QStringLiteral("}"),
    };
    return lines.join(u'\n') + u'\n';
}

} // namespace

namespace FRWHelperInstaller {

QString shellQuoted(const QString& text)
{
    QString inner = text;
    inner.replace(u'\'', QStringLiteral("'\\''"));
    return QStringLiteral("'%1'").arg(inner);
}

QString socketUnitName(const FRWHelperLayout& layout)
{
    return QFileInfo(layout.socketUnitPath).fileName();
}

QString serviceUnitName(const FRWHelperLayout& layout)
{
    return QFileInfo(layout.serviceUnitPath).fileName();
}

QString defaultPolkitPolicy()
{
    return QString::fromUtf8(ferrow::kHelperPolkitPolicyText);
}

QString installScript(const FRWHelperLayout& layout, const QString& publicKeyPem, const QString& socketUnit,
                      const QString& serviceUnit, const QString& polkitPolicy)
{
    const QString systemctl = shellQuoted(layout.systemctlPath);
    const QString socketName = shellQuoted(socketUnitName(layout));
    const QString serviceName = shellQuoted(serviceUnitName(layout));
    const QString source = shellQuoted(layout.helperSource);
    const QString helper = shellQuoted(layout.installedHelperPath);
    const QString socketFile = shellQuoted(layout.socketUnitPath);
    const QString serviceFile = shellQuoted(layout.serviceUnitPath);
    const QString owner = shellQuoted(layout.owner);
    const QString identifier = shellQuoted(QLatin1String(ferrow::kHelperIdentifier));
    const QString fresh = shellQuoted(layout.installedHelperPath + QStringLiteral(".new"));
    const QString policyFile = shellQuoted(layout.polkitPolicyPath);

    QString script;
    script += QStringLiteral("#!/bin/bash\nset -e\numask 077\n");
    script += QStringLiteral(
        "# The old units go down before the helper executable is touched. Overwriting the executable\n"
        "# of a helper that systemd can still start would let any local process connect to its socket\n"
        "# and have systemd run the new bytes as root before they are verified, and deleting the file\n"
        "# afterwards cannot undo that. stop and disable fail both on error and when the units are\n"
        "# absent, so the state they leave is examined instead of their exit codes.\n");
    script += QStringLiteral("%1 stop %2 %3 2>/dev/null || true\n").arg(systemctl, socketName, serviceName);
    script += QStringLiteral("%1 disable %2 2>/dev/null || true\n").arg(systemctl, socketName);
    script += QStringLiteral("for unit in %1 %2; do\n").arg(socketName, serviceName);
    script +=
        QStringLiteral("  state=$(%1 show --property=ActiveState --value \"$unit\" 2>/dev/null || true)\n")
            .arg(systemctl);
    script += QStringLiteral("  if [ \"$state\" != inactive ] && [ \"$state\" != failed ]; then\n"
                             "    echo \"the existing helper is still loaded; refusing to replace it\" >&2\n"
                             "    exit 1\n"
                             "  fi\n"
                             "done\n");
    script += verifyFunction(layout, publicKeyPem);
    script += QStringLiteral("mkdir -p %1\n").arg(shellQuoted(directoryOf(layout.installedHelperPath)));
    script += QStringLiteral(
        "# The source is the user's to change. It is copied without following a link, owner-only,\n"
        "# and made readable and executable only once its signature checks out, so nothing root can\n"
        "# read but the user cannot becomes visible on the way.\n");
    script += QStringLiteral("rm -f -- %1\n").arg(fresh);
    script += QStringLiteral(
        "# Only a regular file is read. Reading a FIFO or a device would make root wait on the user,\n"
        "# so anything else is refused up front, and the read itself never follows a link and never\n"
        "# blocks, in case the source is swapped after the test.\n");
    script += QStringLiteral("if [ -L %1 ] || [ ! -f %1 ]; then\n"
                             "  echo \"helper is not a regular file\" >&2\n"
                             "  exit 1\n"
                             "fi\n")
                  .arg(source);
    script += QStringLiteral("dd if=%1 of=%2 iflag=nofollow,nonblock conv=excl bs=1M status=none\n")
                  .arg(source, fresh);
    script += QStringLiteral("if [ -L %1 ] || [ ! -f %1 ]; then\n"
                             "  rm -f -- %1\n"
                             "  echo \"helper is not a regular file\" >&2\n"
                             "  exit 1\n"
                             "fi\n")
                  .arg(fresh);
    script += QStringLiteral("chown %1 %2\n").arg(owner, fresh);
    script += QStringLiteral("chmod 700 %1\n").arg(fresh);
    script += QStringLiteral("if ! ferrow_verify %1 %2; then\n"
                             "  rm -f -- %1\n"
                             "  echo \"helper is not signed by Ferrow\" >&2\n"
                             "  exit 1\n"
                             "fi\n")
                  .arg(fresh, identifier);
    script += QStringLiteral("chmod 755 %1\n").arg(fresh);
    script += QStringLiteral("mv -f -- %1 %2\n").arg(fresh, helper);
    script += QStringLiteral("mkdir -p %1\n").arg(shellQuoted(directoryOf(layout.polkitPolicyPath)));
    script += QStringLiteral("cat > %1 <<'FERROW_POLICY_END'\n%2FERROW_POLICY_END\n")
                  .arg(policyFile, withNewline(polkitPolicy));
    script += QStringLiteral("chown %1 %2\n").arg(owner, policyFile);
    script += QStringLiteral("chmod 644 %1\n").arg(policyFile);
    script += QStringLiteral("mkdir -p %1\n").arg(shellQuoted(directoryOf(layout.socketUnitPath)));
    script += QStringLiteral("cat > %1 <<'FERROW_UNIT_END'\n%2FERROW_UNIT_END\n")
                  .arg(socketFile, withNewline(socketUnit));
    script += QStringLiteral("cat > %1 <<'FERROW_UNIT_END'\n%2FERROW_UNIT_END\n")
                  .arg(serviceFile, withNewline(serviceUnit));
    script += QStringLiteral("chown %1 %2 %3\n").arg(owner, socketFile, serviceFile);
    script += QStringLiteral("chmod 644 %1 %2\n").arg(socketFile, serviceFile);
    script += QStringLiteral("%1 daemon-reload\n").arg(systemctl);
    script += QStringLiteral("%1 enable --now %2\n").arg(systemctl, socketName);
    script += QStringLiteral("echo installed\n");
    return script;
}

QString uninstallScript(const FRWHelperLayout& layout, Removal removal)
{
    const QString systemctl = shellQuoted(layout.systemctlPath);
    const QString socketName = shellQuoted(socketUnitName(layout));
    const QString serviceName = shellQuoted(serviceUnitName(layout));
    QString script;
    script += QStringLiteral("#!/bin/bash\n");
    script += QStringLiteral("%1 stop %2 %3 2>/dev/null || true\n").arg(systemctl, socketName, serviceName);
    script += QStringLiteral("%1 disable %2 2>/dev/null || true\n").arg(systemctl, socketName);
    script += QStringLiteral("rm -f %1 %2 %3 %4\n")
                  .arg(shellQuoted(layout.socketUnitPath), shellQuoted(layout.serviceUnitPath),
                       shellQuoted(layout.installedHelperPath), shellQuoted(layout.stagedCorePath));
    if (removal == Removal::KeepPackage) {
        script += QStringLiteral("%1 daemon-reload 2>/dev/null || true\n").arg(systemctl);
        script += QStringLiteral("%1 enable --now %2\n").arg(systemctl, socketName);
        script += QStringLiteral("echo removed\n");
        return script;
    }
    script += QStringLiteral("rm -f %1\n").arg(shellQuoted(layout.polkitPolicyPath));
    // The helper put the forwarding switches back when it stopped; what is left is its own state
    // and the statistics of Enhanced Mode cores.
    script += QStringLiteral("rm -rf -- %1 %2\n")
                  .arg(shellQuoted(layout.stateDirectory), shellQuoted(layout.coreStateDirectory));
    script += QStringLiteral("%1 daemon-reload 2>/dev/null || true\n").arg(systemctl);
    script += QStringLiteral("echo removed\n");
    return script;
}

} // namespace FRWHelperInstaller
