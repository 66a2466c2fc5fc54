# Sourced by the project's scripts: install_missing PACKAGE... installs with
# apt-get (through sudo when not root) the Debian packages not yet installed.
install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Instalando: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# ensure_locale NAME (as "es_CL.UTF-8"): generates that system locale when it
# is not installed yet, with Debian's locales package (installed before).
ensure_locale() {
    local name="$1" norm
    norm="$(printf '%s' "$name" | sed 's/UTF-8$/utf8/')"
    locale -a 2>/dev/null | grep -qx "$norm" && return 0
    echo "Generando la configuración regional $name"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if grep -q "^# *$name UTF-8" /etc/locale.gen; then
        "${sudo[@]}" sed -i "s/^# *$name UTF-8/$name UTF-8/" /etc/locale.gen
    elif ! grep -q "^$name UTF-8" /etc/locale.gen; then
        echo "$name UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo[@]}" locale-gen
}
