# Sourced by run.sh and test.sh: the compiler cache lives outside the clone
# (CI clones into a new folder every run), takes paths below the clone as
# relative, and is held to a size.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
export CCACHE_BASEDIR="$PWD"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-3G}"
export CCACHE_NOHASHDIR=1
