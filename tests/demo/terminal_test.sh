echo skip; exit 0
