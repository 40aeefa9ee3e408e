"""The `velmora` command line: solve one lane-sorting board, or a batch of
them on this machine's cores or on a Dask cluster."""
