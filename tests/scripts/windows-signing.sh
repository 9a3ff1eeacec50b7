#!/usr/bin/env bash
# What scripts/build-windows.sh ships is signed and says what it is. Two steps:
#   windows-signing.sh certificate <folder>: a CA for this run only,
#     <folder>/ca.pem, and a code-signing certificate it issued, with its key
#     in $ORVA_SIGN_PKCS12 under $ORVA_SIGN_PASSWORD;
#   windows-signing.sh check <CA or ""> <installed folder> <installer> <samples> <version>:
#     every program installed (the uninstaller too) and the installer carry a
#     valid signature, and each version resource its version and description.
set -euo pipefail

if [ "$1" = certificate ]; then
    cd "$2"
    for key in ca sign; do openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out $key.key; done
    openssl req -x509 -key ca.key -out ca.pem -days 1 -subj "/CN=ORVA test CA"
    openssl req -new -key sign.key -subj "/CN=ORVA test" |
        openssl x509 -req -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -out sign.pem \
            -extfile <(echo extendedKeyUsage=codeSigning) 2>/dev/null
    openssl pkcs12 -export -inkey sign.key -in sign.pem -passout env:ORVA_SIGN_PASSWORD -out "$ORVA_SIGN_PKCS12"
    exit 0
fi
ca=$2 folder=$3 setup=$4 samples=$5 version=$6

# <program> <key>: that string of its version resource, which is UTF-16.
value() { wrestool -x --raw --type=16 "$1" | iconv -c -f UTF-16LE | tr -s '\0' '\n' | grep -a -A1 "$2\$" | tail -n1; }
while IFS='|' read -r program description; do
    for pair in "FileVersion=$version" "ProductVersion=$version" ProductName=ORVA "FileDescription=$description"; do
        [ "$(value "$program" "${pair%%=*}")" = "${pair#*=}" ] || { echo "$program: not $pair"; exit 1; }
    done
done <<EOF
$folder/ORVA.exe|ORVA 扩展宿主
$folder/etipack.exe|ORVA 安装包工具
$folder/Extensions/chainlaunch.exe|ORVA 扩展启动器
$folder/Extensions/00000001/packsetup.exe|ORVA 扩展安装程序
$samples/InboxWatcher.exe|ORVA 示例监听器：等待收件箱中的文件
$samples/InboxLogger.exe|ORVA 示例控制扩展：记录并移走收件箱中的文件
$setup|ORVA 安装程序
EOF
find "$folder" "$setup" -name '*.exe' | while read -r program; do
    osslsigncode verify ${ca:+-CAfile "$ca"} -in "$program" >/dev/null || { echo "$program: not signed"; exit 1; }
done
