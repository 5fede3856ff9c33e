# Sourced by run.sh and test.sh: the compiler cache lives outside the clone
# (CI clones into a new folder every run), takes paths below the clone as
# relative, and is held to a size. Depend mode hashes the sources and the
# headers the compiler reports, so a miss costs no extra preprocessor run.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
export CCACHE_BASEDIR="$PWD"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-2G}"
export CCACHE_NOHASHDIR=1
export CCACHE_DEPEND=1
# Qt's test library defines the test's own folders for QFINDTESTDATA, which
# no test uses: they would make every clone's objects differ.
export CCACHE_IGNOREOPTIONS="-DQT_TESTCASE_BUILDDIR=* -DQT_TESTCASE_SOURCEDIR=*"
